// Varnel: the application the installer puts in place. Its window shows the
// program's name, the version from its own version record and the folder it
// runs from, so an installation can be checked at a glance.
#include <windows.h>
#include <winver.h>

#include <string>
#include <vector>

#include "app.h"

namespace {

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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    const std::wstring path = ModulePath();
    const varnel_app::AppInfo info{FileVersion(path), FolderOf(path)};
    if (const auto code = varnel_app::RunLibraryWindow(info)) return *code;
    return varnel_app::RunPlainWindow(instance, show, info);
}
