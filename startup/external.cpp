#include "startup/external.h"

#include <atomic>
#include <cstdlib>
#include <string>
#include <string_view>

#include "startup/program.h"
#include "startup/runtime_error.h"

namespace varnel::ext {
namespace {

const Row kRows[kRowCount] = {
    {"msvcrt.dll", "strlen"},  // 0
    {"Kernel32.dll", "MultiByteToWideChar"},  // 1
    {"kernel32.dll", "FindFirstFileW"},  // 2
    {"kernel32.dll", "FindClose"},  // 3
    {"xcgui.dll", "XC_AnsiToUnicode"},  // 4
    {"xcgui.dll", "XC_EnableAutoDPI"},  // 5
    {"xcgui.dll", "XC_EnableAutoRedrawUI"},  // 6
    {"xcgui.dll", "XC_EnableResMonitor"},  // 7
    {"xcgui.dll", "XC_LoadResourceZipMem"},  // 8
    {"xcgui.dll", "XC_LoadLayoutZipMem"},  // 9
    {"xcgui.dll", "XRunXCGUI"},  // 10
    {"xcgui.dll", "XExitXCGUI"},  // 11
    {"xcgui.dll", "XC_GetObjectByName"},  // 12
    {"xcgui.dll", "XEle_RegEventC1"},  // 13
    {"xcgui.dll", "XEdit_GetText_Temp"},  // 14
    {"xcgui.dll ", "XC_wtoa"},  // 15
    {"xcgui.dll", "XShapeText_SetText"},  // 16
    {"xcgui.dll", "XWidget_Show"},  // 17
    {"xcgui.dll", "XBtn_IsCheck"},  // 18
    {"xcgui.dll", "XProgBar_SetPos"},  // 19
    {"xcgui.dll", "XNotifyMsg_WindowPopupEx"},  // 20
    {"ntdll.dll", "_strlwr"},  // 21
    {"ntdll.dll", "strstr"},  // 22
    {"Comdlg32.dll", "GetFileTitleW"},  // 23
    {"kernel32.dll", "GetFileAttributesW"},  // 24
    {"Shlwapi.dll", "PathFindExtensionW"},  // 25
    {"msvcrt.dll", "wcscat"},  // 26
    {"kernel32.dll", "GetModuleHandleA"},  // 27
    {"kernel32.dll", "GetProcAddress"},  // 28
    {"kernel32.dll", "lstrcpyn"},  // 29
    {"advapi32.dll", "RegOpenKeyExW"},  // 30
    {"advapi32.dll", "RegQueryValueExW"},  // 31
    {"advapi32.dll", "RegCloseKey"},  // 32
    {"kernel32.dll", "lstrlenW"},  // 33
    {"kernel32.dll", "WideCharToMultiByte"},  // 34
    {"kernel32.dll", "LocalAlloc"},  // 35
    {"Kernel32.dll", "CreateDirectoryW"},  // 36
    {"kernel32.dll", "LocalFree"},  // 37
    {"shlwapi.dll", "PathIsDirectoryW"},  // 38
    {"kernel32.dll", "CreateWaitableTimerA"},  // 39
    {"kernel32.dll", "SetWaitableTimer"},  // 40
    {"User32.dll", "MsgWaitForMultipleObjects"},  // 41
    {"kernel32.dll", "CloseHandle"},  // 42
    {"kernel32.dll", "CreateToolhelp32Snapshot"},  // 43
    {"kernel32.dll", "Process32First"},  // 44
    {"kernel32.dll", "Process32Next"},  // 45
    {"kernel32.dll", "GetCurrentProcess"},  // 46
    {"kernel32.dll", "OpenProcess"},  // 47
    {"kernel32.dll", "TerminateProcess"},  // 48
    {"ole32.dll", "CoInitialize"},  // 49
    {"Ole32.dll", "CoCreateInstance"},  // 50
    {"ole32.dll", "CoUninitialize"},  // 51
    {"kernel32.dll", "IsBadReadPtr"},  // 52
    {"kernel32.dll", "IsBadCodePtr"},  // 53
    {"Shell32.dll", "ILCreateFromPathW"},  // 54
    {"Shell32.dll", "SHCreateShellItem"},  // 55
    {"Shell32.dll", "ILFree"},  // 56
    {"ole32.dll", "CoTaskMemFree"},  // 57
    {"xcgui.dll", "XEdit_SetText"},  // 58
    {"xcgui.dll", "XEle_Redraw"},  // 59
    {"kernel32.dll", "GetLogicalDriveStringsA"},  // 60
    {"xcgui.dll", "XInitXCGUI"},  // 61
    {"xcgui.dll", "XObj_GetType"},  // 62
    {"xcgui.dll", "XObj_GetTypeBase"},  // 63
    {"xcgui.dll", "XObj_GetTypeEx"},  // 64
    {"xcgui.dll", "XObj_SetTypeEx"},  // 65
    {"xcgui.dll", "XUI_SetStyle"},  // 66
    {"xcgui.dll", "XUI_GetStyle"},  // 67
    {"xcgui.dll", "XUI_EnableCSS"},  // 68
    {"xcgui.dll", "XUI_EnableCssEx"},  // 69
    {"xcgui.dll", "XUI_SetCssName"},  // 70
    {"xcgui.dll", "XUI_GetCssName"},  // 71
    {"xcgui.dll", "XC_wtoa"},  // 72
    {"xcgui.dll", "XWnd_RegEventC1"},  // 73
    {"xcgui.dll", "XWnd_CreateEx"},  // 74
    {"xcgui.dll", "XWnd_Attach"},  // 75
    {"xcgui.dll", "XWnd_RegEventC"},  // 76
    {"xcgui.dll", "XWnd_RemoveEventC"},  // 77
    {"xcgui.dll", "XWnd_AddChild"},  // 78
    {"xcgui.dll", "XWnd_InsertChild"},  // 79
    {"xcgui.dll", "XWnd_Redraw"},  // 80
    {"xcgui.dll", "XWnd_RedrawRect"},  // 81
    {"xcgui.dll", "XWnd_SetFocusEle"},  // 82
    {"xcgui.dll", "XWnd_GetFocusEle"},  // 83
    {"xcgui.dll", "XWnd_GetStayEle"},  // 84
    {"xcgui.dll", "XWnd_DrawWindow"},  // 85
    {"xcgui.dll", "XWnd_Center"},  // 86
    {"xcgui.dll", "XWnd_CenterEx"},  // 87
    {"xcgui.dll", "XWnd_SetCursor"},  // 88
    {"xcgui.dll", "XWnd_GetCursor"},  // 89
    {"xcgui.dll", "XWnd_GetHWND"},  // 90
    {"xcgui.dll", "XWnd_EnableDragBorder"},  // 91
    {"xcgui.dll", "XWnd_EnableDragWindow"},  // 92
    {"xcgui.dll", "XWnd_EnableDragCaption"},  // 93
    {"xcgui.dll", "XWnd_EnableDrawBk"},  // 94
    {"xcgui.dll", "XWnd_EnableAutoFocus"},  // 95
    {"xcgui.dll", "XWnd_EnableMaxWindow"},  // 96
    {"xcgui.dll", "XWnd_EnableLimitWindowSize"},  // 97
    {"xcgui.dll", "XWnd_EnableDragFiles"},  // 98
    {"xcgui.dll", "XWnd_EnableLayout"},  // 99
    {"xcgui.dll", "XWnd_EnableLayoutOverlayBorder"},  // 100
    {"xcgui.dll", "XWnd_ShowLayoutFrame"},  // 101
    {"xcgui.dll", "XWnd_IsEnableLayout"},  // 102
    {"xcgui.dll", "XWnd_IsMaxWindow"},  // 103
    {"xcgui.dll", "XWnd_IsDragBorder"},  // 104
    {"xcgui.dll", "XWnd_IsDragWindow"},  // 105
    {"xcgui.dll", "XWnd_IsDragCaption"},  // 106
    {"xcgui.dll", "XWnd_SetCaptureEle"},  // 107
    {"xcgui.dll", "XWnd_GetCaptureEle"},  // 108
    {"xcgui.dll", "XWnd_GetDrawRect"},  // 109
    {"xcgui.dll", "XWnd_Show"},  // 110
    {"xcgui.dll", "XWnd_ShowWindow"},  // 111
    {"xcgui.dll", "XWnd_SetCursorSys"},  // 112
    {"xcgui.dll", "XWnd_SetFont"},  // 113
    {"xcgui.dll", "XWnd_SetTextColor"},  // 114
    {"xcgui.dll", "XWnd_GetTextColor"},  // 115
    {"xcgui.dll", "XWnd_GetTextColorEx"},  // 116
    {"xcgui.dll", "XWnd_SetID"},  // 117
    {"xcgui.dll", "XWnd_GetID"},  // 118
    {"xcgui.dll", "XWnd_SetName"},  // 119
    {"xcgui.dll", "XWnd_GetName"},  // 120
    {"xcgui.dll", "XWnd_SetBorderSize"},  // 121
    {"xcgui.dll", "XWnd_GetBorderSize"},  // 122
    {"xcgui.dll", "XWnd_SetPadding"},  // 123
    {"xcgui.dll", "XWnd_SetDragBorderSize"},  // 124
    {"xcgui.dll", "XWnd_GetDragBorderSize"},  // 125
    {"xcgui.dll", "XWnd_SetCaptionMargin"},  // 126
    {"xcgui.dll", "XWnd_SetMinimumSize"},  // 127
    {"xcgui.dll", "XWnd_HitChildEle"},  // 128
    {"xcgui.dll", "XWnd_GetChildCount"},  // 129
    {"xcgui.dll", "XWnd_GetChildByIndex"},  // 130
    {"xcgui.dll", "XWnd_GetChildByID"},  // 131
    {"xcgui.dll", "XWnd_GetChild"},  // 132
    {"xcgui.dll", "XWnd_SetDPI"},  // 133
    {"xcgui.dll", "XWnd_GetDPI"},  // 134
    {"xcgui.dll", "XWnd_SetIcon"},  // 135
    {"xcgui.dll", "XWnd_SetTitle"},  // 136
    {"xcgui.dll", "XWnd_SetTitleColor"},  // 137
    {"xcgui.dll", "XWnd_GetButton"},  // 138
    {"xcgui.dll", "XWnd_GetIcon"},  // 139
    {"xcgui.dll", "XWnd_GetTitle"},  // 140
    {"xcgui.dll", "XWnd_GetTitleColor"},  // 141
    {"xcgui.dll", "XWnd_CloseWindow"},  // 142
    {"xcgui.dll", "XWnd_AdjustLayout"},  // 143
    {"xcgui.dll", "XWnd_AdjustLayoutEx"},  // 144
    {"xcgui.dll", "XWnd_CreateCaret"},  // 145
    {"xcgui.dll", "XWnd_SetCaretPos"},  // 146
    {"xcgui.dll", "XWnd_SetCaretColor"},  // 147
    {"xcgui.dll", "XWnd_ShowCaret"},  // 148
    {"xcgui.dll", "XWnd_GetCaretHELE"},  // 149
    {"xcgui.dll", "XWnd_GetCaretInfo"},  // 150
    {"xcgui.dll", "XWnd_DestroyCaret"},  // 151
    {"xcgui.dll", "XWnd_GetClientRect"},  // 152
    {"xcgui.dll", "XWnd_GetBodyRect"},  // 153
    {"xcgui.dll", "XWnd_GetLayoutRect"},  // 154
    {"xcgui.dll", "XWnd_SetPosition"},  // 155
    {"xcgui.dll", "XWnd_GetCursorPos"},  // 156
    {"xcgui.dll", "XWnd_ClientToScreen"},  // 157
    {"xcgui.dll", "XWnd_ScreenToClient"},  // 158
    {"xcgui.dll", "XWnd_RectToDPI"},  // 159
    {"xcgui.dll", "XWnd_PointToDPI"},  // 160
    {"xcgui.dll", "XWnd_GetRect"},  // 161
    {"xcgui.dll", "XWnd_SetRect"},  // 162
    {"xcgui.dll", "XWnd_SetTop"},  // 163
    {"xcgui.dll", "XWnd_MaxWindow"},  // 164
    {"xcgui.dll", "XWnd_SetWindowPos"},  // 165
    {"xcgui.dll", "XWnd_SetTimer"},  // 166
    {"xcgui.dll", "XWnd_KillTimer"},  // 167
    {"xcgui.dll", "XWnd_SetXCTimer"},  // 168
    {"xcgui.dll", "XWnd_KillXCTimer"},  // 169
    {"xcgui.dll", "XWnd_AddBkBorder"},  // 170
    {"xcgui.dll", "XWnd_AddBkFill"},  // 171
    {"xcgui.dll", "XWnd_AddBkImage"},  // 172
    {"xcgui.dll", "XWnd_SetBkInfo"},  // 173
    {"xcgui.dll", "XWnd_GetBkInfoCount"},  // 174
    {"xcgui.dll", "XWnd_ClearBkInfo"},  // 175
    {"xcgui.dll", "XWnd_GetBkManager"},  // 176
    {"xcgui.dll", "XWnd_GetBkManagerEx"},  // 177
    {"xcgui.dll", "XWnd_SetBkMagager"},  // 178
    {"xcgui.dll", "XWnd_SetTransparentType"},  // 179
    {"xcgui.dll", "XWnd_SetTransparentAlpha"},  // 180
    {"xcgui.dll", "XWnd_SetTransparentColor"},  // 181
    {"xcgui.dll", "XWnd_SetShadowInfo"},  // 182
    {"xcgui.dll", "XWnd_GetShadowInfo"},  // 183
    {"xcgui.dll", "XWnd_GetTransparentType"},  // 184
    {"xcgui.dll", "XLayoutBox_EnableHorizon"},  // 185
    {"xcgui.dll", "XLayoutBox_EnableAutoWrap"},  // 186
    {"xcgui.dll", "XLayoutBox_EnableOverflowHide"},  // 187
    {"xcgui.dll", "XLayoutBox_SetAlignH"},  // 188
    {"xcgui.dll", "XLayoutBox_SetAlignV"},  // 189
    {"xcgui.dll", "XLayoutBox_SetAlignBaseline"},  // 190
    {"xcgui.dll", "XLayoutBox_SetSpace"},  // 191
    {"xcgui.dll", "XLayoutBox_SetSpaceRow"},  // 192
    {"xcgui.dll", "XWnd_Create"},  // 193
};

struct Binding {
    std::atomic<void*> address = nullptr;
    HMODULE module = nullptr;
};
Binding gBindings[kRowCount];
// Rows are bound once even when the installation's extraction thread asks for
// one at the same time as the UI thread. Re-entrant: a row that cannot be
// bound shows the error box, which binds rows of its own.
struct BindingLock {
    CRITICAL_SECTION section;
    BindingLock() { InitializeCriticalSection(&section); }
};
CRITICAL_SECTION& TheBindingLock() {
    static BindingLock lock;  // never destroyed: rows may be bound until the process ends
    return lock.section;
}
bool gUiLibraryTrusted = true;

// The system libraries tried for a row without a library name.
constexpr const char* kSystemLibraries[] = {"Kernel32.dll", "Gdi32.dll", "User32.dll",
                                            "Advapi32.dll", "Mpr.dll",   "Shell32.dll"};

// The loader ignores trailing blanks in a file name; so do we, explicitly.
std::string TrimTrailingBlanks(std::string_view name) {
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    return std::string(name);
}

bool IsUiLibrary(std::string_view library) {
    return lstrcmpiA(TrimTrailingBlanks(library).c_str(), "xcgui.dll") == 0;
}

// System libraries load from the system directory only: the installer runs
// elevated from download folders, where a planted DLL must never be picked up.
HMODULE LoadSystemLibrary(std::string_view name) {
    char directory[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::string path = JoinTexts(std::string_view(directory, length), "\\", TrimTrailingBlanks(name));
    return LoadLibraryA(path.c_str());
}

// The UI library loads from the program directory only, and only when the
// deployment did not find a foreign copy there that it could not replace.
HMODULE LoadUiLibrary(std::string_view name) {
    if (!gUiLibraryTrusted) return nullptr;
    const std::string path = JoinTexts(ProgramDirectory(), "\\", TrimTrailingBlanks(name));
    return LoadLibraryA(path.c_str());
}

HMODULE LoadRowLibrary(std::string_view library) {
    if (library.find(':') != std::string_view::npos) return LoadLibraryA(std::string(library).c_str());
    if (IsUiLibrary(library)) return LoadUiLibrary(library);
    return LoadSystemLibrary(library);
}

}  // namespace

const Row& RowAt(int index) { return kRows[index]; }

void* BindRow(const Row& row, HMODULE* module) {
    const std::string_view library = row.library;
    const std::string_view exportName = row.exportName;
    LPCSTR procedure = row.exportName;
    if (!exportName.empty() && exportName.front() == '#') {
        const unsigned long ordinal = std::strtoul(row.exportName + 1, nullptr, 10);
        procedure = MAKEINTRESOURCEA(ordinal & 0xFFFF);
    }

    HMODULE loaded = nullptr;
    void* address = nullptr;
    if (library.empty()) {
        for (const char* candidate : kSystemLibraries) {
            loaded = LoadSystemLibrary(candidate);
            if (!loaded) continue;
            address = reinterpret_cast<void*>(::GetProcAddress(loaded, procedure));
            if (address) break;
            FreeLibrary(loaded);
            loaded = nullptr;
        }
    } else {
        loaded = LoadRowLibrary(library);
        if (loaded) address = reinterpret_cast<void*>(::GetProcAddress(loaded, procedure));
    }

    if (address) {
        *module = loaded;
        return address;
    }
    if (loaded) FreeLibrary(loaded);
    RuntimeError(BindingFailureMessage(library, exportName), 0, 0, 0);
}

void* BindExternal(int index) {
    Binding& binding = gBindings[index];
    if (void* address = binding.address.load(std::memory_order_acquire)) return address;
    CRITICAL_SECTION& lock = TheBindingLock();
    EnterCriticalSection(&lock);
    void* address = binding.address.load(std::memory_order_relaxed);
    if (!address) {
        address = BindRow(kRows[index], &binding.module);
        binding.address.store(address, std::memory_order_release);
    }
    LeaveCriticalSection(&lock);
    return address;
}

bool IsBound(int index) { return gBindings[index].address.load(std::memory_order_acquire) != nullptr; }

void ReleaseBoundLibraries() {
    for (Binding& binding : gBindings) {
        if (binding.module) FreeLibrary(binding.module);
        binding.address.store(nullptr, std::memory_order_relaxed);
        binding.module = nullptr;
    }
}

void SetUiLibraryTrusted(bool trusted) { gUiLibraryTrusted = trusted; }

}  // namespace varnel::ext
