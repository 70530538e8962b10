// Small owners for Windows resources: each closes what it holds when it goes
// out of scope. Two kinds of kernel handle, because CreateFile reports failure
// as INVALID_HANDLE_VALUE while OpenProcess and most others report NULL.
#pragma once

#include <windows.h>

#include <utility>

#include "startup/external.h"

namespace varnel {

// One owner type per (handle type, empty value, close function).
template <typename T, typename Traits>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~UniqueResource() { Reset(); }

    T Get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::Empty(); }
    T Release() { return std::exchange(value_, Traits::Empty()); }
    void Reset(T value = Traits::Empty()) {
        if (value_ != Traits::Empty()) Traits::Close(value_);
        value_ = value;
    }
    // For functions that hand a new resource out through a pointer.
    T* Put() {
        Reset();
        return &value_;
    }

private:
    T value_ = Traits::Empty();
};

struct FileHandleTraits {
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ext::CloseHandle(h); }
};
struct KernelHandleTraits {
    static HANDLE Empty() { return nullptr; }
    static void Close(HANDLE h) { ext::CloseHandle(h); }
};
struct FindHandleTraits {
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ext::FindClose(h); }
};
struct RegistryKeyTraits {
    static HKEY Empty() { return nullptr; }
    static void Close(HKEY key) { ext::RegCloseKey(key); }
};

// CreateFile, CreateToolhelp32Snapshot: INVALID_HANDLE_VALUE when empty.
using FileHandle = UniqueResource<HANDLE, FileHandleTraits>;
// OpenProcess, CreateWaitableTimer, CreateEvent: NULL when empty.
using KernelHandle = UniqueResource<HANDLE, KernelHandleTraits>;
using FindHandle = UniqueResource<HANDLE, FindHandleTraits>;
using RegistryKey = UniqueResource<HKEY, RegistryKeyTraits>;

// Holds one reference to a COM object.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    void Reset() {
        if (object_) object_->Release();
        object_ = nullptr;
    }
    // For CoCreateInstance and QueryInterface style out-parameters.
    void** PutVoid() {
        Reset();
        return reinterpret_cast<void**>(&object_);
    }
    T** Put() {
        Reset();
        return &object_;
    }

private:
    T* object_ = nullptr;
};

// COM for the calling thread for one scope. Uninitialises only what it
// initialised: a failed CoInitialize (another apartment model) is not undone.
class ComInitScope {
public:
    ComInitScope() : initialised_(SUCCEEDED(ext::CoInitialize(nullptr))) {}
    ComInitScope(const ComInitScope&) = delete;
    ComInitScope& operator=(const ComInitScope&) = delete;
    ~ComInitScope() {
        if (initialised_) ext::CoUninitialize();
    }

private:
    bool initialised_;
};

}  // namespace varnel
