// A stand-in for the installed application and a driver for the launch and
// folder picker tests.
//   (no arguments)       leaves "<own path>.started" and ends: the launched app
//   sleep <ms>           leaves the marker, then sleeps (a running copy)
//   launch <directory>   LaunchApplication with that install directory
//   pick <output file>   PickFolder over a window of its own; writes the bytes
#include <windows.h>
#include <ole2.h>

#include <cstdlib>
#include <string>

#include "install/launch.h"
#include "platform/folder_picker.h"
#include "startup/program.h"

namespace {

void LeaveMarker() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring marker = std::wstring(path) + L".started";
    HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

int Pick(const char* outputPath) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"varnel picker owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                                 300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    const std::string picked = varnel::PickFolder("选择安装目录", owner);
    HANDLE file = CreateFileA(outputPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    DWORD written = 0;
    WriteFile(file, picked.data(), static_cast<DWORD>(picked.size()), &written, nullptr);
    CloseHandle(file);
    DestroyWindow(owner);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "launch" && argc > 2) {
        varnel::Program().installDirectory = argv[2];
        varnel::LaunchApplication();
    }
    if (mode == "pick" && argc > 2) {
        OleInitialize(nullptr);  // as start-up does for the installer
        const int code = Pick(argv[2]);
        OleUninitialize();
        return code;
    }
    LeaveMarker();
    if (mode == "sleep" && argc > 2) Sleep(static_cast<DWORD>(std::atol(argv[2])));
    return 0;
}
