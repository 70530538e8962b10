// The external function table: calls of the program's own logic into Windows
// or the UI library go through a row of this table, bound (library loaded,
// export looked up) at the row's first call and kept until shutdown. The
// system calls it has no row for are named in platform/system_calls.h.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <commdlg.h>

#include <cstring>
#include <string>
#include <utility>

#include "startup/ui_library.h"

namespace varnel::ext {

inline constexpr int kRowCount = 194;

struct Row {
    const char* library;     // as written, case and blanks kept
    const char* exportName;  // "#n" would name an ordinal
};

const Row& RowAt(int index);

// The row's address, binding it first when still unbound. Returns only with a
// usable address; a row that cannot be bound ends the process through the
// runtime error box.
void* BindExternal(int index);

// Binds an arbitrary row description (used by BindExternal; tests use it with
// rows that do not exist in the table). Returns the address and the module,
// or null and shows the runtime error box.
void* BindRow(const Row& row, HMODULE* module);

bool IsBound(int index);

// Shutdown step 2: one FreeLibrary per bound row.
void ReleaseBoundLibraries();

// Whether the UI library may be loaded at all; deployment clears it when the
// file beside the program is foreign and cannot be replaced.
void SetUiLibraryTrusted(bool trusted);

// A typed row: calling it binds the row and calls the export with the row's
// own calling convention, which the function type carries.
template <typename F>
struct Entry {
    int row;
    template <typename... Args>
    decltype(auto) operator()(Args&&... args) const {
        return reinterpret_cast<F*>(BindExternal(row))(std::forward<Args>(args)...);
    }
};

// C runtime rows (the caller removes the arguments).
using strlen_t = size_t __cdecl(const char*);
using strlwr_t = char* __cdecl(char*);
using strstr_t = char* __cdecl(const char*, const char*);
using wcscat_t = wchar_t* __cdecl(wchar_t*, const wchar_t*);
using GetSystemWow64DirectoryA_t = UINT WINAPI(LPSTR, UINT);

inline constexpr Entry<strlen_t> strlen_{0};
inline constexpr Entry<decltype(::MultiByteToWideChar)> MultiByteToWideChar{1};
inline constexpr Entry<decltype(::FindFirstFileW)> FindFirstFileW{2};
inline constexpr Entry<decltype(::FindClose)> FindClose{3};
inline constexpr Entry<xc::XC_AnsiToUnicode_t> XC_AnsiToUnicode{4};
inline constexpr Entry<xc::XC_EnableAutoDPI_t> XC_EnableAutoDPI{5};
inline constexpr Entry<xc::XC_EnableAutoRedrawUI_t> XC_EnableAutoRedrawUI{6};
inline constexpr Entry<xc::XC_EnableResMonitor_t> XC_EnableResMonitor{7};
inline constexpr Entry<xc::XC_LoadResourceZipMem_t> XC_LoadResourceZipMem{8};
inline constexpr Entry<xc::XC_LoadLayoutZipMem_t> XC_LoadLayoutZipMem{9};
inline constexpr Entry<xc::XRunXCGUI_t> XRunXCGUI{10};
inline constexpr Entry<xc::XExitXCGUI_t> XExitXCGUI{11};
inline constexpr Entry<xc::XC_GetObjectByName_t> XC_GetObjectByName{12};
inline constexpr Entry<xc::XEle_RegEventC1_t> XEle_RegEventC1{13};
inline constexpr Entry<xc::XEdit_GetText_Temp_t> XEdit_GetText_Temp{14};
inline constexpr Entry<xc::XC_wtoa_t> XC_wtoa{15};
inline constexpr Entry<xc::XShapeText_SetText_t> XShapeText_SetText{16};
inline constexpr Entry<xc::XWidget_Show_t> XWidget_Show{17};
inline constexpr Entry<xc::XBtn_IsCheck_t> XBtn_IsCheck{18};
inline constexpr Entry<xc::XProgBar_SetPos_t> XProgBar_SetPos{19};
inline constexpr Entry<xc::XNotifyMsg_WindowPopupEx_t> XNotifyMsg_WindowPopupEx{20};
inline constexpr Entry<strlwr_t> strlwr_{21};
inline constexpr Entry<strstr_t> strstr_{22};
inline constexpr Entry<decltype(::GetFileTitleW)> GetFileTitleW{23};
inline constexpr Entry<decltype(::GetFileAttributesW)> GetFileAttributesW{24};
inline constexpr Entry<decltype(::PathFindExtensionW)> PathFindExtensionW{25};
inline constexpr Entry<wcscat_t> wcscat_{26};
inline constexpr Entry<decltype(::GetModuleHandleA)> GetModuleHandleA{27};
inline constexpr Entry<decltype(::GetProcAddress)> GetProcAddress{28};
inline constexpr Entry<decltype(::lstrcpynA)> lstrcpynA{29};
inline constexpr Entry<decltype(::RegOpenKeyExW)> RegOpenKeyExW{30};
inline constexpr Entry<decltype(::RegQueryValueExW)> RegQueryValueExW{31};
inline constexpr Entry<decltype(::RegCloseKey)> RegCloseKey{32};
inline constexpr Entry<decltype(::lstrlenW)> lstrlenW{33};
inline constexpr Entry<decltype(::WideCharToMultiByte)> WideCharToMultiByte{34};
inline constexpr Entry<decltype(::LocalAlloc)> LocalAlloc{35};
inline constexpr Entry<decltype(::CreateDirectoryW)> CreateDirectoryW{36};
inline constexpr Entry<decltype(::LocalFree)> LocalFree{37};
inline constexpr Entry<decltype(::PathIsDirectoryW)> PathIsDirectoryW{38};
inline constexpr Entry<decltype(::CreateWaitableTimerA)> CreateWaitableTimerA{39};
inline constexpr Entry<decltype(::SetWaitableTimer)> SetWaitableTimer{40};
inline constexpr Entry<decltype(::MsgWaitForMultipleObjects)> MsgWaitForMultipleObjects{41};
inline constexpr Entry<decltype(::CloseHandle)> CloseHandle{42};
inline constexpr Entry<decltype(::CreateToolhelp32Snapshot)> CreateToolhelp32Snapshot{43};
inline constexpr Entry<decltype(::Process32First)> Process32First{44};
inline constexpr Entry<decltype(::Process32Next)> Process32Next{45};
inline constexpr Entry<decltype(::OpenProcess)> OpenProcess{47};
inline constexpr Entry<decltype(::TerminateProcess)> TerminateProcess{48};
inline constexpr Entry<decltype(::CoInitialize)> CoInitialize{49};
inline constexpr Entry<decltype(::CoCreateInstance)> CoCreateInstance{50};
inline constexpr Entry<decltype(::CoUninitialize)> CoUninitialize{51};
inline constexpr Entry<decltype(::IsBadReadPtr)> IsBadReadPtr{52};
inline constexpr Entry<decltype(::IsBadCodePtr)> IsBadCodePtr{53};
inline constexpr Entry<decltype(::ILCreateFromPathW)> ILCreateFromPathW{54};
inline constexpr Entry<decltype(::SHCreateShellItem)> SHCreateShellItem{55};
inline constexpr Entry<decltype(::ILFree)> ILFree{56};
inline constexpr Entry<decltype(::CoTaskMemFree)> CoTaskMemFree{57};
inline constexpr Entry<xc::XEdit_SetText_t> XEdit_SetText{58};
inline constexpr Entry<xc::XEle_Redraw_t> XEle_Redraw{59};
inline constexpr Entry<decltype(::GetLogicalDriveStringsA)> GetLogicalDriveStringsA{60};
inline constexpr Entry<xc::XInitXCGUI_t> XInitXCGUI{61};
inline constexpr Entry<xc::XWnd_Redraw_t> XWnd_Redraw{80};
inline constexpr Entry<xc::XWnd_GetHWND_t> XWnd_GetHWND{90};
inline constexpr Entry<xc::XWnd_EnableDragBorder_t> XWnd_EnableDragBorder{91};
inline constexpr Entry<xc::XWnd_Show_t> XWnd_Show{110};
inline constexpr Entry<xc::XWnd_AdjustLayout_t> XWnd_AdjustLayout{143};

}  // namespace varnel::ext
