// A stand-in UI library for tests of the installer's logic: it knows the
// installer layout's element names, keeps texts, check states and bar
// positions, and records every call as one line of text.
#include <windows.h>

#include <map>
#include <string>

#include "startup/ui_library.h"

namespace {

std::string gCalls;
std::map<std::wstring, xc::Handle> gElements;
std::map<xc::Handle, std::wstring> gTexts;
std::map<xc::Handle, BOOL> gChecks;
std::map<xc::Handle, int> gPositions;
std::string gTemporaryAnsi;
std::wstring gTemporaryWide;
void* gClickCallback = nullptr;

constexpr const wchar_t* kNames[] = {
    L"布局元素_1", L"布局元素_2", L"布局元素_3", L"布局元素_4", L"按钮_快速安装", L"按钮_自定义安装",
    L"按钮_浏览", L"按钮_立即安装", L"按钮_返回", L"按钮_立即体验", L"标签_安装路径", L"编辑框_安装位置",
    L"按钮_用户协议", L"按钮_快捷方式", L"标签_安装状态", L"进度条_1", L"标签_标题", L"标签_3"};
constexpr xc::Handle kWindow = 1000;

std::string Narrow(const wchar_t* text) {
    if (!text) return "(null)";
    const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

void Record(const std::string& line) { gCalls += line + "\n"; }

void Reset() {
    gCalls.clear();
    gElements.clear();
    gTexts.clear();
    gChecks.clear();
    gPositions.clear();
    xc::Handle next = 1;
    for (const wchar_t* name : kNames) gElements[name] = next++;
    gChecks[gElements[L"按钮_用户协议"]] = TRUE;
    gChecks[gElements[L"按钮_快捷方式"]] = TRUE;
}

struct Init {
    Init() { Reset(); }
} gInit;

}  // namespace

extern "C" {

int WINAPI XC_AnsiToUnicode(const char* text, int length, wchar_t* out, int outLength) {
    return MultiByteToWideChar(CP_ACP, 0, text, length, out, outLength);
}
BOOL WINAPI XInitXCGUI(BOOL flag) { Record("XInitXCGUI(" + std::to_string(flag) + ")"); return TRUE; }
void WINAPI XC_EnableAutoDPI(BOOL flag) { Record("XC_EnableAutoDPI(" + std::to_string(flag) + ")"); }
void WINAPI XC_EnableAutoRedrawUI(BOOL flag) { Record("XC_EnableAutoRedrawUI(" + std::to_string(flag) + ")"); }
void WINAPI XC_EnableResMonitor(BOOL flag) { Record("XC_EnableResMonitor(" + std::to_string(flag) + ")"); }
// A password as the recording shows it: quoted, or null when none was given.
std::string Quoted(const wchar_t* password) {
    if (!password) return "null";
    std::string quoted = "\"";
    quoted += Narrow(password);
    quoted += '"';
    return quoted;
}
BOOL WINAPI XC_LoadResourceZipMem(const void*, int length, const wchar_t* name, const wchar_t* password) {
    Record("XC_LoadResourceZipMem(" + std::to_string(length) + "," + Narrow(name) + "," + Quoted(password) + ")");
    return TRUE;
}
xc::Handle WINAPI XC_LoadLayoutZipMem(const void*, int length, const wchar_t* name, const wchar_t* password,
                                      xc::Handle parent, HWND attach) {
    Record("XC_LoadLayoutZipMem(" + std::to_string(length) + "," + Narrow(name) + "," +
           Quoted(password) + "," + std::to_string(parent) + "," +
           std::to_string(reinterpret_cast<INT_PTR>(attach)) + ")");
    return kWindow;
}
void WINAPI XWnd_EnableDragBorder(xc::Handle w, BOOL e) {
    Record("XWnd_EnableDragBorder(" + std::to_string(w) + "," + std::to_string(e) + ")");
}
BOOL WINAPI XWnd_Show(xc::Handle w, BOOL s) {
    Record("XWnd_Show(" + std::to_string(w) + "," + std::to_string(s) + ")");
    return TRUE;
}
void WINAPI XRunXCGUI() { Record("XRunXCGUI()"); }
void WINAPI XExitXCGUI() { Record("XExitXCGUI()"); }
xc::Handle WINAPI XC_GetObjectByName(const wchar_t* name) {
    const auto found = name ? gElements.find(name) : gElements.end();
    return found == gElements.end() ? 0 : found->second;
}
BOOL WINAPI XEle_RegEventC1(xc::Handle e, int type, void* callback) {
    Record("XEle_RegEventC1(" + std::to_string(e) + "," + std::to_string(type) + ")");
    gClickCallback = callback;
    return e != 0;
}
const wchar_t* WINAPI XEdit_GetText_Temp(xc::Handle e) {
    gTemporaryWide = gTexts[e];
    return gTemporaryWide.c_str();
}
const char* WINAPI XC_wtoa(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    gTemporaryAnsi.assign(static_cast<size_t>(n > 0 ? n : 1), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, -1, gTemporaryAnsi.data(), n, nullptr, nullptr);
    return gTemporaryAnsi.c_str();
}
void WINAPI XEdit_SetText(xc::Handle e, const wchar_t* text) {
    gTexts[e] = text ? text : L"";
    Record("XEdit_SetText(" + std::to_string(e) + "," + Narrow(text) + ")");
}
void WINAPI XShapeText_SetText(xc::Handle e, const wchar_t* text) {
    gTexts[e] = text ? text : L"";
    Record("XShapeText_SetText(" + std::to_string(e) + "," + Narrow(text) + ")");
}
void WINAPI XEle_Redraw(xc::Handle e, BOOL i) { Record("XEle_Redraw(" + std::to_string(e) + "," + std::to_string(i) + ")"); }
void WINAPI XWidget_Show(xc::Handle e, BOOL s) { Record("XWidget_Show(" + std::to_string(e) + "," + std::to_string(s) + ")"); }
void WINAPI XWnd_AdjustLayout(xc::Handle w) { Record("XWnd_AdjustLayout(" + std::to_string(w) + ")"); }
void WINAPI XWnd_Redraw(xc::Handle w, BOOL i) { Record("XWnd_Redraw(" + std::to_string(w) + "," + std::to_string(i) + ")"); }
HWND WINAPI XWnd_GetHWND(xc::Handle) { return nullptr; }
BOOL WINAPI XBtn_IsCheck(xc::Handle e) { return gChecks.count(e) ? gChecks[e] : FALSE; }
void WINAPI XProgBar_SetPos(xc::Handle e, int position) {
    gPositions[e] = position;
    Record("XProgBar_SetPos(" + std::to_string(e) + "," + std::to_string(position) + ")");
}
xc::Handle WINAPI XNotifyMsg_WindowPopupEx(xc::Handle w, int position, const wchar_t* title, const wchar_t* text,
                                           xc::Handle icon, int skin, BOOL close, BOOL autoClose, int width,
                                           int height) {
    Record("XNotifyMsg_WindowPopupEx(" + std::to_string(w) + "," + std::to_string(position) + "," + Narrow(title) +
           "," + Narrow(text) + "," + std::to_string(icon) + "," + std::to_string(skin) + "," +
           std::to_string(close) + "," + std::to_string(autoClose) + "," + std::to_string(width) + "," +
           std::to_string(height) + ")");
    return 77;
}

// Test controls.
const char* WINAPI Test_Calls() { return gCalls.c_str(); }
void WINAPI Test_Reset() { Reset(); }
void WINAPI Test_SetCheck(const wchar_t* name, BOOL checked) { gChecks[gElements[name]] = checked; }
void WINAPI Test_SetText(const wchar_t* name, const wchar_t* text) { gTexts[gElements[name]] = text; }
void WINAPI Test_RemoveElement(const wchar_t* name) { gElements.erase(name); }
void* WINAPI Test_ClickCallback() { return gClickCallback; }

}  // extern "C"
