// A stand-in for the installed application and a driver for the launch and
// folder picker tests.
//   (no arguments)       leaves "<own path>.started" and ends: the launched app;
//                        the marker holds the name of the process that started
//                        it and its working directory (GBK), one a line
//   sleep <ms>           leaves the marker, then sleeps (a running copy)
//   launch <directory>   LaunchApplication with that install directory
//   pick <output file>   PickFolder over a window of its own; writes the bytes
//   open|save <output file> <start folder>  RunFileDialog with the general
//                        options (multi-select or save, filters, start folder,
//                        encoding box); writes count, paths and encoding (UTF-8)
//   version <output file> writes the OS version word the installer sees (hex)
//   title <path> <output file> writes Is64BitWindows, the HideFileExt value
//                        read in that registry view, and FileTitle (GBK)
//   bench-wait           prints how long WaitPumpingMessages really waits
#include <windows.h>
#include <ole2.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "install/launch.h"
#include "platform/folder_picker.h"
#include "platform/paths.h"
#include "platform/wait.h"
#include "startup/program.h"
#include "startup/text.h"

namespace {

// The name of the process that started this one, from the process list.
std::string ParentName() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return {};
    std::vector<PROCESSENTRY32> entries;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        entries.push_back(entry);
    CloseHandle(snapshot);
    for (const auto& own : entries) {
        if (own.th32ProcessID != GetCurrentProcessId()) continue;
        for (const auto& parent : entries)
            if (parent.th32ProcessID == own.th32ParentProcessID) return parent.szExeFile;
    }
    return {};
}

void LeaveMarker() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring marker = std::wstring(path) + L".started";
    char directory[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, directory);
    const std::string text = ParentName() + "\n" + directory + "\n";
    HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }
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

int GeneralDialog(bool save, const char* outputPath, const char* startFolder) {
    varnel::FileDialogOptions options;
    options.multiSelect = !save;
    options.saveDialog = save;
    options.filter = std::wstring(L"Text\0*.txt\0All\0*.*\0", 20);
    options.filterIndex = 1;
    options.title = save ? L"varnel save test" : L"varnel open test";
    options.startFolder = varnel::TextToUtf16(startFolder, false);
    options.encodingOption = (3 << 16) | 1;  // the box, UTF-16 BE chosen
    std::vector<std::wstring> paths;
    int encoding = -1;
    const int count = varnel::RunFileDialog(options, paths, &encoding);
    std::string text = std::to_string(count) + "\n";
    for (const auto& path : paths) {
        char utf8[1024] = {};
        WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, utf8, sizeof(utf8), nullptr, nullptr);
        text += std::string(utf8) + "\n";
    }
    text += std::to_string(encoding) + "\n";
    FILE* out = std::fopen(outputPath, "wb");
    if (out == nullptr) return 2;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    return 0;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(value(kernel) + value(user)) / 1e7;
}

template <typename Wait>
void Measure(const char* what, int repeats, Wait wait) {
    std::vector<double> ms;
    const double cpuBefore = ProcessCpuSeconds();
    for (int i = 0; i < repeats; ++i) {
        LARGE_INTEGER from, to;
        QueryPerformanceCounter(&from);
        wait();
        QueryPerformanceCounter(&to);
        ms.push_back(Seconds(from, to) * 1000.0);
    }
    double sum = 0, low = ms.front(), high = ms.front();
    for (double m : ms) {
        sum += m;
        low = m < low ? m : low;
        high = m > high ? m : high;
    }
    std::printf("%-44s n=%-4d mean %8.2f ms  min %8.2f  max %8.2f  cpu %6.1f ms\n", what, repeats, sum / repeats, low,
                high, (ProcessCpuSeconds() - cpuBefore) * 1000.0 + 0.0);
}

int BenchWait() {
    using varnel::WaitPumpingMessages;
    Measure("WaitPumpingMessages(10)", 100, [] { WaitPumpingMessages(10); });
    Measure("WaitPumpingMessages(1000)", 3, [] { WaitPumpingMessages(1000); });
    Measure("WaitPumpingMessages(0)", 100, [] { WaitPumpingMessages(0); });
    Measure("WaitPumpingMessages(-10)", 100, [] { WaitPumpingMessages(-10); });
    Measure("WaitPumpingMessages(1, 1) (one second)", 1, [] { WaitPumpingMessages(1, 1); });
    // A quit that stays in the queue must not make the wait spin.
    PostQuitMessage(0);
    Measure("WaitPumpingMessages(1000), WM_QUIT queued", 1, [] { WaitPumpingMessages(1000); });
    Measure("fallback without timer, 10 ms", 50, [] { varnel::WaitPumpingMessagesUntil(GetTickCount64() + 10); });
    Measure("fallback without timer, 1000 ms, WM_QUIT", 1,
            [] { varnel::WaitPumpingMessagesUntil(GetTickCount64() + 1000); });
    std::fflush(stdout);
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
    if (mode == "bench-wait") return BenchWait();
    if ((mode == "open" || mode == "save") && argc > 3) {
        OleInitialize(nullptr);
        const int code = GeneralDialog(mode == "save", argv[2], argv[3]);
        OleUninitialize();
        return code;
    }
    if (mode == "version" && argc > 2) {
        FILE* out = std::fopen(argv[2], "wb");
        if (out == nullptr) return 2;
        std::fprintf(out, "%x", varnel::OsVersionWord());
        std::fclose(out);
        return 0;
    }
    if (mode == "title" && argc > 3) {
        const bool wow64 = varnel::Is64BitWindows();
        const std::uint32_t hide = varnel::ReadRegistryDword(
            HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", "HideFileExt", wow64);
        const std::string text = std::to_string(wow64) + " " + std::to_string(hide) + " " + varnel::FileTitle(argv[2]);
        FILE* out = std::fopen(argv[3], "wb");
        if (out == nullptr) return 2;
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
        return 0;
    }
    LeaveMarker();
    if (mode == "sleep" && argc > 2) Sleep(static_cast<DWORD>(std::atol(argv[2])));
    return 0;
}
