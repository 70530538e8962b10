// Reaches the recording UI library's test controls.
#pragma once

#include <windows.h>

#include <string>

struct Recording {
    static HMODULE Library() { return GetModuleHandleA("xcgui.dll"); }
    template <typename F>
    static F* Get(const char* name) {
        return reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(Library(), name)));
    }
    // Every call since the last Reset, one per line.
    static std::string Calls() { return Get<const char* WINAPI()>("Test_Calls")(); }
    static void Reset() { Get<void WINAPI()>("Test_Reset")(); }
    static void SetCheck(const wchar_t* name, bool checked) {
        Get<void WINAPI(const wchar_t*, BOOL)>("Test_SetCheck")(name, checked);
    }
    static void SetText(const wchar_t* name, const wchar_t* text) {
        Get<void WINAPI(const wchar_t*, const wchar_t*)>("Test_SetText")(name, text);
    }
    static void RemoveElement(const wchar_t* name) { Get<void WINAPI(const wchar_t*)>("Test_RemoveElement")(name); }
};
