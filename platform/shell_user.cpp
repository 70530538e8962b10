#include "platform/shell_user.h"

#include <windows.h>
#include <oleauto.h>
#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "startup/external.h"

namespace varnel {

namespace {

// Spelled out, as the shell publishes them: import libraries may hand out
// the address of a thunk for such a symbol.
constexpr CLSID kClsidShellWindows = {0x9ba05972, 0xf6a8, 0x11cf, {0xa4, 0x42, 0x00, 0xa0, 0xc9, 0x0a, 0x8f, 0x39}};
constexpr IID kIidShellWindows = {0x85cb6900, 0x4d95, 0x11cf, {0x96, 0x0c, 0x00, 0x80, 0xc7, 0xf4, 0xee, 0x85}};
constexpr IID kIidServiceProvider = {0x6d5140c1, 0x7436, 0x11ce, {0x80, 0x34, 0x00, 0xaa, 0x00, 0x60, 0x09, 0xfa}};
constexpr GUID kSidTopLevelBrowser = {0x4c96be40, 0x915c, 0x11cf, {0x99, 0xd3, 0x00, 0xaa, 0x00, 0x4a, 0xe8, 0x37}};
constexpr IID kIidShellBrowser = {0x000214e2, 0, 0, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIidDispatch = {0x00020400, 0, 0, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIidShellFolderViewDual = {0xe7a1af80, 0x4d96, 0x11cf, {0x96, 0x0c, 0x00, 0x80, 0xc7, 0xf4, 0xee, 0x85}};
constexpr IID kIidShellDispatch2 = {0xa4c6892c, 0x3ba9, 0x11d2, {0x9d, 0xea, 0x00, 0xc0, 0x4f, 0xb1, 0x61, 0x62}};

// A variant that owns what it holds.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    explicit Variant(const std::wstring& text) : Variant() {
        value_.bstrVal = SysAllocString(text.c_str());
        if (value_.bstrVal) value_.vt = VT_BSTR;
    }
    explicit Variant(LONG number) : Variant() {
        value_.vt = VT_I4;
        value_.lVal = number;
    }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&value_); }
    VARIANT& Get() { return value_; }

private:
    VARIANT value_;
};

// The desktop window's automation object, from the shell's own list of
// windows (Wine's desktop is there but not registered as the shell window).
// Empty when no desktop shell runs.
ComPtr<IDispatch> FindDesktopShell() {
    ComPtr<IShellWindows> windows;
    if (FAILED(ext::CoCreateInstance(kClsidShellWindows, nullptr, CLSCTX_ALL, kIidShellWindows, windows.PutVoid())) ||
        !windows) {
        return {};
    }
    Variant desktop(static_cast<LONG>(CSIDL_DESKTOP));
    Variant none;
    LONG window = 0;
    ComPtr<IDispatch> automation;
    if (windows.Get()->FindWindowSW(&desktop.Get(), &none.Get(), SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                    automation.Put()) != S_OK) {
        return {};
    }
    return automation;
}

// The shell's dispatch object, reached as the shell's own scripts reach it:
// the desktop's browser, its view, the view's background object and that
// object's application.
ComPtr<IShellDispatch2> ShellDispatchOf(const ComPtr<IDispatch>& desktop) {
    ComPtr<IServiceProvider> services;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IDispatch> background;
    ComPtr<IShellFolderViewDual> folderView;
    ComPtr<IDispatch> application;
    ComPtr<IShellDispatch2> shell;
    if (FAILED(desktop.Get()->QueryInterface(kIidServiceProvider, services.PutVoid())) || !services ||
        FAILED(services.Get()->QueryService(kSidTopLevelBrowser, kIidShellBrowser, browser.PutVoid())) || !browser ||
        FAILED(browser.Get()->QueryActiveShellView(view.Put())) || !view ||
        FAILED(view.Get()->GetItemObject(SVGIO_BACKGROUND, kIidDispatch, background.PutVoid())) || !background ||
        FAILED(background.Get()->QueryInterface(kIidShellFolderViewDual, folderView.PutVoid())) || !folderView ||
        FAILED(folderView.Get()->get_Application(application.Put())) || !application ||
        FAILED(application.Get()->QueryInterface(kIidShellDispatch2, shell.PutVoid()))) {
        return {};
    }
    return shell;
}

}  // namespace

KernelHandle ShellUserToken() {
    // The shell registers its desktop as the shell window, which costs
    // nothing to ask for; this runs before the first paint. (Wine's desktop
    // does not register; its one user is the installer's anyway.)
    HWND window = GetShellWindow();
    DWORD processId = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &processId) == 0 || processId == 0) return {};
    KernelHandle process(ext::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return {};
    KernelHandle token;
    if (!OpenProcessToken(process.Get(), TOKEN_QUERY | TOKEN_IMPERSONATE | TOKEN_DUPLICATE, token.Put())) return {};
    return token;
}

bool StartThroughDesktopShell(const std::wstring& file, const std::wstring& directory) {
    ComInitScope com;
    const ComPtr<IDispatch> desktop = FindDesktopShell();  // none in a service or a bare session
    if (!desktop) return false;
    ComPtr<IShellDispatch2> shell = ShellDispatchOf(desktop);
    if (!shell) return false;
    BSTR name = SysAllocString(file.c_str());
    if (name == nullptr) return false;
    Variant arguments;
    Variant workingDirectory(directory);
    Variant verb(std::wstring(L"open"));
    Variant show(static_cast<LONG>(SW_SHOWNORMAL));
    // The shell API's ShellExecute macro renames this method, in its
    // declaration as here.
    const HRESULT result =
        shell.Get()->ShellExecute(name, arguments.Get(), workingDirectory.Get(), verb.Get(), show.Get());
    SysFreeString(name);
    return SUCCEEDED(result);
}

}  // namespace varnel
