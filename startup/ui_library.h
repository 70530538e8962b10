// Declarations of the XCGUI exports the installer calls. Shared by the
// installer (which binds them at run time) and by our XCGUI.dll (which
// exports them undecorated, standard convention, via xcgui/xcgui.def).
#pragma once

#include <windows.h>

namespace xc {

// Every library object is an int32 handle; 0 means none.
using Handle = int;

// Click event and the shape of its callback.
inline constexpr int kEventButtonClick = 34;
using ClickCallback = int(WINAPI*)(Handle element, BOOL* handled);

// Notification skins.
inline constexpr int kSkinSuccess = 1;
inline constexpr int kSkinWarning = 2;
inline constexpr int kSkinInfo = 3;
inline constexpr int kSkinError = 4;

using XC_AnsiToUnicode_t = int WINAPI(const char* text, int textLength, wchar_t* out, int outLength);
using XInitXCGUI_t = BOOL WINAPI(BOOL d2d);
using XC_EnableAutoDPI_t = void WINAPI(BOOL enable);
using XC_EnableAutoRedrawUI_t = void WINAPI(BOOL enable);
using XC_EnableResMonitor_t = void WINAPI(BOOL enable);
using XC_LoadResourceZipMem_t = BOOL WINAPI(const void* data, int length, const wchar_t* fileName,
                                             const wchar_t* password);
using XC_LoadLayoutZipMem_t = Handle WINAPI(const void* data, int length, const wchar_t* fileName,
                                             const wchar_t* password, Handle parent, HWND attachTo);
using XWnd_EnableDragBorder_t = void WINAPI(Handle window, BOOL enable);
using XWnd_Show_t = BOOL WINAPI(Handle window, BOOL show);
using XRunXCGUI_t = void WINAPI(void);
using XExitXCGUI_t = void WINAPI(void);
using XC_GetObjectByName_t = Handle WINAPI(const wchar_t* name);
using XEle_RegEventC1_t = BOOL WINAPI(Handle element, int eventType, void* callback);
using XEdit_GetText_Temp_t = const wchar_t* WINAPI(Handle edit);
using XC_wtoa_t = const char* WINAPI(const wchar_t* text);
using XEdit_SetText_t = void WINAPI(Handle edit, const wchar_t* text);
using XShapeText_SetText_t = void WINAPI(Handle shapeText, const wchar_t* text);
using XEle_Redraw_t = void WINAPI(Handle element, BOOL immediate);
using XWidget_Show_t = void WINAPI(Handle widget, BOOL show);
using XWnd_AdjustLayout_t = void WINAPI(Handle window);
using XWnd_Redraw_t = void WINAPI(Handle window, BOOL immediate);
using XWnd_GetHWND_t = HWND WINAPI(Handle window);
using XBtn_IsCheck_t = BOOL WINAPI(Handle button);
using XProgBar_SetPos_t = void WINAPI(Handle progressBar, int position);
using XNotifyMsg_WindowPopupEx_t = Handle WINAPI(Handle window, int position, const wchar_t* title,
                                                  const wchar_t* text, Handle icon, int skin,
                                                  BOOL closeButton, BOOL autoClose, int width, int height);

}  // namespace xc
