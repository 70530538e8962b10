// The window drawn by our XCGUI.dll: its layout package is embedded in the
// program (resource APP_UI) and the library is taken from the program's own
// folder only, never from the search path.
#include <windows.h>

#include <string>

#include "app.h"
#include "startup/ui_library.h"

namespace varnel_app {

namespace {

class Library {
public:
    explicit Library(const std::wstring& path) {
        // A damaged file must not stop the program with a system box.
        const UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        module_ = LoadLibraryW(path.c_str());
        SetErrorMode(old);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library() {
        if (module_) FreeLibrary(module_);
    }
    explicit operator bool() const { return module_ != nullptr; }

    template <typename F>
    bool Bind(const char* name, F*& out) const {
        out = reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        return out != nullptr;
    }

private:
    HMODULE module_ = nullptr;
};

struct Exports {
    xc::XInitXCGUI_t* init = nullptr;
    xc::XC_EnableAutoDPI_t* enableAutoDpi = nullptr;
    xc::XC_LoadResourceZipMem_t* loadResources = nullptr;
    xc::XC_LoadLayoutZipMem_t* loadLayout = nullptr;
    xc::XC_GetObjectByName_t* objectByName = nullptr;
    xc::XShapeText_SetText_t* setText = nullptr;
    xc::XWnd_Show_t* show = nullptr;
    xc::XRunXCGUI_t* run = nullptr;
    xc::XExitXCGUI_t* exit = nullptr;

    bool BindAll(const Library& lib) {
        return lib.Bind("XInitXCGUI", init) && lib.Bind("XC_EnableAutoDPI", enableAutoDpi) &&
               lib.Bind("XC_LoadResourceZipMem", loadResources) && lib.Bind("XC_LoadLayoutZipMem", loadLayout) &&
               lib.Bind("XC_GetObjectByName", objectByName) && lib.Bind("XShapeText_SetText", setText) &&
               lib.Bind("XWnd_Show", show) && lib.Bind("XRunXCGUI", run) && lib.Bind("XExitXCGUI", exit);
    }
};

// Ends the library's session (windows, GDI+) on every way out once begun.
class Session {
public:
    explicit Session(const Exports& x) : exit_(x.exit) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() { exit_(); }

private:
    xc::XExitXCGUI_t* exit_;
};

struct Bytes {
    const void* data = nullptr;
    int length = 0;
};

// Resources of the program's image stay mapped as long as it runs.
Bytes EmbeddedPackage() {
    const HRSRC found = FindResourceW(nullptr, L"APP_UI", MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!found) return {};
    const HGLOBAL loaded = LoadResource(nullptr, found);
    const DWORD size = SizeofResource(nullptr, found);
    if (!loaded || size == 0) return {};
    return {LockResource(loaded), static_cast<int>(size)};
}

}  // namespace

std::optional<int> RunLibraryWindow(const AppInfo& info) {
    const Bytes package = EmbeddedPackage();
    if (!package.data || info.folder.empty()) return std::nullopt;
    const Library lib(info.folder + L"\\XCGUI.dll");
    Exports x;
    if (!lib || !x.BindAll(lib)) return std::nullopt;

    x.init(TRUE);
    const Session session(x);
    x.enableAutoDpi(TRUE);
    if (!x.loadResources(package.data, package.length, L"resource.res", L"")) return std::nullopt;
    const xc::Handle window = x.loadLayout(package.data, package.length, L"main.xml", L"", 0, nullptr);
    if (!window) return std::nullopt;

    x.setText(x.objectByName(L"标签_名称"), L"Varnel");
    x.setText(x.objectByName(L"标签_版本"), (L"版本 " + info.version).c_str());
    x.setText(x.objectByName(L"标签_位置"), (L"运行位置：" + info.folder).c_str());
    x.show(window, TRUE);
    x.run();
    return 0;
}

}  // namespace varnel_app
