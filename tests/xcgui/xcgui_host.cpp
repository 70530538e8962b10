// A small program that drives our XCGUI.dll the way the installer does, for
// the window tests and the first-paint benchmark. It binds the exports at
// run time from the DLL beside it and reports what happens on stdout.
//
// usage: xcgui_host [package.zip] [--first-paint | --bare]
#include <windows.h>
#include <objidl.h>
#include <shellapi.h>
#include <gdiplus.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ui_library.h"

namespace {

HMODULE g_lib = nullptr;

template <typename F>
F* Bind(const char* name) {
    auto* f = reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(g_lib, name)));
    if (!f) {
        std::printf("missing export %s\n", name);
        std::fflush(stdout);
        ExitProcess(2);
    }
    return f;
}

#define XC(name) Bind<xc::name##_t>(#name)

int g_window = 0;

// GBK text (this file is compiled to GBK, as the installer is) to wide,
// through the library's own conversion.
std::wstring ToWide(const char* text) {
    const int n = XC(XC_AnsiToUnicode)(text, -1, nullptr, 0);
    std::wstring out(n > 0 ? n : 1, L'\0');
    XC(XC_AnsiToUnicode)(text, -1, out.data(), n);
    return out;
}

std::string Utf8(const wchar_t* text) {
    if (!text) return "(null)";
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

std::string AnsiToUtf8(const char* text) {
    if (!text) return "(null)";
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n);
    return Utf8(wide.c_str());
}

int Find(const char* name) { return XC(XC_GetObjectByName)(ToWide(name).c_str()); }

void Report(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void ShowPage(int page) {
    const char* pages[] = {"布局元素_1", "布局元素_2", "布局元素_3", "布局元素_4"};
    for (const char* p : pages) XC(XWidget_Show)(Find(p), FALSE);
    XC(XWidget_Show)(Find(pages[page - 1]), TRUE);
    XC(XWnd_AdjustLayout)(g_window);
    XC(XWnd_Redraw)(g_window, FALSE);
}

void Popup(const char* text, int skin) {
    XC(XNotifyMsg_WindowPopupEx)(g_window, 1, ToWide("通知").c_str(), ToWide(text).c_str(), 0, skin, TRUE, TRUE, -1,
                                 -1);
}

const char* const kButtons[] = {"按钮_快速安装", "按钮_自定义安装", "按钮_浏览", "按钮_立即安装",
                                "按钮_返回",     "按钮_立即体验",   "按钮_用户协议", "按钮_快捷方式"};

int WINAPI OnClick(int element, BOOL*) {
    std::string name = "?";
    for (const char* b : kButtons)
        if (Find(b) == element) name = AnsiToUtf8(b);
    Report("click " + name);
    if (element == Find("按钮_自定义安装")) ShowPage(2);
    if (element == Find("按钮_返回")) {
        const char* text = XC(XC_wtoa)(XC(XEdit_GetText_Temp)(Find("编辑框_安装位置")));
        Report("edit " + AnsiToUtf8(text));
        const std::string copy = text ? text : "";
        XC(XShapeText_SetText)(Find("标签_安装路径"), ToWide(copy.c_str()).c_str());
        ShowPage(1);
    }
    if (element == Find("按钮_快速安装")) {
        const BOOL agreed = XC(XBtn_IsCheck)(Find("按钮_用户协议"));
        Report("agree " + std::to_string(agreed));
        if (!agreed) {
            Popup("同意用户协议方可继续安装。", xc::kSkinSuccess);
        } else {
            ShowPage(3);
            XC(XShapeText_SetText)(Find("标签_安装状态"), ToWide("正在安装: varnel.exe").c_str());
            XC(XProgBar_SetPos)(Find("进度条_1"), 40);
        }
    }
    if (element == Find("按钮_浏览")) {
        Popup("安装成功。", xc::kSkinSuccess);
        Popup("安装位置无效。", xc::kSkinWarning);
        Popup("这是一条信息。", xc::kSkinInfo);
        Popup("出现错误。", xc::kSkinError);
    }
    if (element == Find("按钮_立即安装")) ShowPage(4);
    if (element == Find("按钮_快捷方式"))
        Report("shortcut " + std::to_string(XC(XBtn_IsCheck)(Find("按钮_快捷方式"))));
    return 0;
}

// --- first paint: time from process creation to the end of the first WM_PAINT

double MillisecondsSinceStart() {
    FILETIME created, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimePreciseAsFileTime(&now);
    const auto ticks = [](FILETIME f) { return (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
}

// Stages of the start-up, on stderr, for finding where the time goes.
void Stage(const char* what) { std::fprintf(stderr, "%s %.1f\n", what, MillisecondsSinceStart()); }

// The end of the first WM_PAINT, whichever window procedure handled it.
LRESULT CALLBACK AfterPaint(int code, WPARAM wp, LPARAM lp) {
    const auto* m = reinterpret_cast<const CWPRETSTRUCT*>(lp);
    if (code >= 0 && m->message == WM_PAINT) {
        std::printf("first_paint_ms %.1f\n", MillisecondsSinceStart());
        std::fflush(stdout);
        ExitProcess(0);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK BareProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        {
            Gdiplus::Graphics g(dc);
            Gdiplus::SolidBrush blue(Gdiplus::Color(255, 0x50, 0x8A, 0xFF));
            g.Clear(Gdiplus::Color(255, 255, 255, 255));
            g.FillRectangle(&blue, 0, 0, 592, 280);
        }
        EndPaint(hwnd, &ps);
        std::printf("first_paint_ms %.1f\n", MillisecondsSinceStart());
        std::fflush(stdout);
        ExitProcess(0);
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

int RunBare() {
    Stage("main");
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    Stage("startup");
    WNDCLASSW wc{};
    wc.lpfnWndProc = BareProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BareGdiplus";
    RegisterClassW(&wc);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - 592) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - 442) / 2;
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"bare", WS_POPUP | WS_VISIBLE, x, y, 592, 442, nullptr, nullptr,
                                wc.hInstance, nullptr);
    Stage("created");
    UpdateWindow(hwnd);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}

std::vector<char> ReadFile(const wchar_t* path) {
    std::vector<char> bytes;
    HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(f, nullptr));
    DWORD got = 0;
    ::ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(f);
    bytes.resize(got);
    return bytes;
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring package = L"D:\\ui_package.zip";
    bool firstPaint = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--bare") return RunBare();
        if (a == L"--first-paint") firstPaint = true;
        else package = a;
    }

    const auto stage = [&](const char* what) {
        if (firstPaint) Stage(what);
    };
    stage("main");
    g_lib = LoadLibraryW(L"XCGUI.dll");
    stage("loadlibrary");
    if (!g_lib) {
        Report("cannot load XCGUI.dll");
        return 2;
    }
    const std::vector<char> bytes = ReadFile(package.c_str());
    const int length = static_cast<int>(bytes.size());

    XC(XInitXCGUI)(TRUE);
    XC(XC_EnableAutoDPI)(TRUE);
    XC(XC_EnableAutoRedrawUI)(TRUE);
    XC(XC_EnableResMonitor)(FALSE);
    stage("init");
    stage("read");
    const BOOL res = XC(XC_LoadResourceZipMem)(bytes.data(), length, ToWide("resource.res").c_str(), ToWide("").c_str());
    stage("resources");
    if (firstPaint && GetEnvironmentVariableW(L"XCGUI_TWICE", nullptr, 0)) {
        XC(XC_LoadResourceZipMem)(bytes.data(), length, ToWide("resource.res").c_str(), ToWide("").c_str());
        stage("resources again");
    }
    g_window = XC(XC_LoadLayoutZipMem)(bytes.data(), length, ToWide("main.xml").c_str(), ToWide("").c_str(), 0, nullptr);
    stage("layout");
    Report("loaded " + std::to_string(res) + " " + std::to_string(g_window != 0));
    XC(XWnd_EnableDragBorder)(g_window, FALSE);
    for (const char* b : kButtons) XC(XEle_RegEventC1)(Find(b), xc::kEventButtonClick, reinterpret_cast<void*>(OnClick));
    XC(XEdit_SetText)(Find("编辑框_安装位置"), ToWide("C:\\varnel").c_str());
    XC(XShapeText_SetText)(Find("标签_3"), ToWide("2024(4.1.0.0)").c_str());
    XC(XShapeText_SetText)(Find("标签_标题"), ToWide("Varnel - 安装程序(20241118)").c_str());
    XC(XShapeText_SetText)(Find("标签_安装路径"), ToWide("C:\\varnel").c_str());
    // Watched from a hook: asking for the window's handle before it is shown
    // would make the window early and change what is measured.
    if (firstPaint) SetWindowsHookExW(WH_CALLWNDPROCRET, AfterPaint, nullptr, GetCurrentThreadId());
    stage("texts");
    XC(XWnd_Show)(g_window, TRUE);
    Report("shown");
    XC(XRunXCGUI)();
    XC(XExitXCGUI)();
    Report("exit");
    return 0;
}
