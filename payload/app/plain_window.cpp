// The plain GDI window, for when XCGUI.dll is not beside the program.
#include <windows.h>

#include <utility>

#include "app.h"

namespace varnel_app {

namespace {

constexpr wchar_t kClassName[] = L"VarnelMainWindow";
constexpr COLORREF kBand = RGB(0x1E, 0x6F, 0xD9);
constexpr COLORREF kInk = RGB(0x33, 0x33, 0x33);

class GdiFont {
public:
    explicit GdiFont(HFONT font = nullptr) : font_(font) {}
    GdiFont(const GdiFont&) = delete;
    GdiFont& operator=(const GdiFont&) = delete;
    GdiFont& operator=(GdiFont&& other) noexcept {
        std::swap(font_, other.font_);
        return *this;
    }
    ~GdiFont() {
        if (font_) DeleteObject(font_);
    }
    HFONT Get() const { return font_; }

private:
    HFONT font_;
};

struct PlainWindow {
    explicit PlainWindow(const AppInfo& shown) : info(shown) {}

    const AppInfo& info;
    int dpi = 96;
    GdiFont title, body;

    int Scale(int pixels) const { return MulDiv(pixels, dpi, 96); }

    void MakeFonts() {
        const auto make = [&](int height, int weight) {
            return CreateFontW(-Scale(height), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Microsoft YaHei");
        };
        title = GdiFont(make(34, FW_BOLD));
        body = GdiFont(make(15, FW_NORMAL));
    }

    void Paint(HDC dc, const RECT& client) const {
        const HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        FillRect(dc, &client, white);
        RECT band = client;
        band.bottom = band.top + Scale(110);
        const HBRUSH blue = CreateSolidBrush(kBand);
        FillRect(dc, &band, blue);
        DeleteObject(blue);

        SetBkMode(dc, TRANSPARENT);
        const HGDIOBJ old = SelectObject(dc, title.Get());
        SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));
        RECT name = band;
        name.left += Scale(24);
        DrawTextW(dc, L"Varnel", -1, &name, DT_SINGLELINE | DT_VCENTER | DT_LEFT);

        SelectObject(dc, body.Get());
        SetTextColor(dc, kInk);
        RECT line{client.left + Scale(24), band.bottom + Scale(20), client.right - Scale(24), band.bottom + Scale(46)};
        const std::wstring versionLine = L"版本 " + info.version;
        DrawTextW(dc, versionLine.c_str(), -1, &line, DT_SINGLELINE | DT_LEFT | DT_NOPREFIX);
        OffsetRect(&line, 0, Scale(32));
        const std::wstring folderLine = L"运行位置：" + info.folder;
        DrawTextW(dc, folderLine.c_str(), -1, &line, DT_SINGLELINE | DT_LEFT | DT_NOPREFIX | DT_PATH_ELLIPSIS);
        SelectObject(dc, old);
    }
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* app = reinterpret_cast<PlainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE:
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
            break;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            const HDC dc = BeginPaint(window, &ps);
            RECT client;
            GetClientRect(window, &client);
            if (app) app->Paint(dc, client);
            EndPaint(window, &ps);
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int RunPlainWindow(HINSTANCE instance, int show, const AppInfo& info) {
    PlainWindow app(info);
    const HDC screen = GetDC(nullptr);
    app.dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    app.MakeFonts();

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, L"APP_ICON");
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass)) return 1;

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, app.Scale(520), app.Scale(220)};
    AdjustWindowRect(&frame, style, FALSE);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const HWND window = CreateWindowExW(0, kClassName, L"Varnel", style, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                        (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr,
                                        instance, &app);
    if (!window) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace varnel_app
