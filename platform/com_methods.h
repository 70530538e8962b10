// Calls into COM objects by the position of the method in the object's method
// table, the way the published interfaces number them. Every call first makes
// sure the object and the method can be read and run, so a broken object from
// a shell extension cannot take the installer down.
#pragma once

#include <windows.h>

#include "startup/external.h"

namespace varnel {

// Method positions shared by every interface.
inline constexpr int kQueryInterface = 0;
inline constexpr int kRelease = 2;

// True when `object` points at a readable method table whose entry `slot`
// is code that can be run.
inline bool MethodCallable(void* object, int slot) {
    if (object == nullptr || ext::IsBadReadPtr(object, 4)) return false;
    void** table = *static_cast<void***>(object);
    if (ext::IsBadReadPtr(table + slot, sizeof(void*))) return false;
    return !ext::IsBadCodePtr(reinterpret_cast<FARPROC>(table[slot]));
}

// Calls method `slot` of `object` with the arguments as given; a method that
// cannot be called counts as returning 0.
template <typename... Args>
HRESULT CallMethod(void* object, int slot, Args... args) {
    if (!MethodCallable(object, slot)) return 0;
    using Method = HRESULT(STDMETHODCALLTYPE*)(void*, Args...);
    auto method = reinterpret_cast<Method>((*static_cast<void***>(object))[slot]);
    return method(object, args...);
}

// Releases the object (when it can be) and clears the caller's pointer.
template <typename T>
void ReleaseObject(T*& object) {
    if (object != nullptr) CallMethod(object, kRelease);
    object = nullptr;
}

}  // namespace varnel
