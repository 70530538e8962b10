// Varnel: the application the installer puts in place. Its window shows the
// program's name, the version from its own version record and the folder it
// runs from, so an installation can be checked at a glance.
#include <windows.h>
#include <winver.h>

#include <string>
#include <utility>
#include <vector>

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

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(0, cut);
}

// "a.b.c.d" from the fixed part of the file's version record.
std::wstring FileVersion(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return L"?";
    std::vector<BYTE> record(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, record.data()) ||
        !VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof(*fixed))
        return L"?";
    wchar_t text[64];
    wsprintfW(text, L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
              HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    return text;
}

struct AppWindow {
    std::wstring version;
    std::wstring folder;
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
        const std::wstring versionLine = L"版本 " + version;
        DrawTextW(dc, versionLine.c_str(), -1, &line, DT_SINGLELINE | DT_LEFT | DT_NOPREFIX);
        OffsetRect(&line, 0, Scale(32));
        const std::wstring folderLine = L"运行位置：" + folder;
        DrawTextW(dc, folderLine.c_str(), -1, &line, DT_SINGLELINE | DT_LEFT | DT_NOPREFIX | DT_PATH_ELLIPSIS);
        SelectObject(dc, old);
    }
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* app = reinterpret_cast<AppWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
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

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    AppWindow app;
    const std::wstring path = ModulePath();
    app.version = FileVersion(path);
    app.folder = FolderOf(path);
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
