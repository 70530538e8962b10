// Times a program of ours from process creation to the end of its first
// WM_PAINT without changing it: a hook on its main thread, loaded into it by
// the system as hooks are, notes the time when the first paint returns and
// ends the process.
//   first_paint_probe EXE [ARGS...]   prints "first_paint_ms N"
// Built twice from this file: the probe, and (FIRST_PAINT_HOOK) the hook DLL
// beside it.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const wchar_t kOutVariable[] = L"VARNEL_FIRST_PAINT_OUT";

}  // namespace

#ifdef FIRST_PAINT_HOOK

extern "C" __declspec(dllexport) LRESULT CALLBACK AfterPaint(int code, WPARAM wp, LPARAM lp) {
    const auto* m = reinterpret_cast<const CWPRETSTRUCT*>(lp);
    wchar_t out[MAX_PATH] = {};
    // Only in the program the probe started: its environment names the file.
    if (code >= 0 && m->message == WM_PAINT && GetEnvironmentVariableW(kOutVariable, out, MAX_PATH)) {
        FILETIME created, exited, kernel, user, now;
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
        GetSystemTimePreciseAsFileTime(&now);
        const auto ticks = [](FILETIME f) {
            return (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
        };
        char text[64];
        const int n = std::snprintf(text, sizeof text, "first_paint_ms %.1f\n",
                                    static_cast<double>(ticks(now) - ticks(created)) / 10000.0);
        HANDLE file = CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        if (file != INVALID_HANDLE_VALUE) {
            WriteFile(file, text, static_cast<DWORD>(n), &written, nullptr);
            CloseHandle(file);
        }
        ExitProcess(0);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

#else

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: first_paint_probe EXE [ARGS...]\n");
        return 2;
    }
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder.resize(folder.find_last_of(L'\\') + 1);
    HMODULE hook = LoadLibraryW((folder + L"first_paint_hook.dll").c_str());
    // The standard call convention decorates the exported name.
    FARPROC found = hook ? GetProcAddress(hook, "AfterPaint@12") : nullptr;
    if (hook && !found) found = GetProcAddress(hook, "AfterPaint");
    auto* proc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(found));
    if (!proc) {
        std::fprintf(stderr, "first_paint_probe: no hook DLL beside the probe\n");
        return 1;
    }

    const std::wstring out = folder + L"first_paint.out";
    DeleteFileW(out.c_str());
    SetEnvironmentVariableW(kOutVariable, out.c_str());
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
    for (int i = 2; i < argc; ++i) command += L" " + std::wstring(argv[i]);
    std::wstring directory(argv[1]);
    const std::size_t cut = directory.find_last_of(L"\\/");
    directory = cut == std::wstring::npos ? std::wstring() : directory.substr(0, cut);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
        std::fprintf(stderr, "first_paint_probe: cannot start the program\n");
        return 1;
    }
    // Only its main thread is hooked: a global hook would slow every window
    // of the session, and the bare window's creation most of all.
    HHOOK installed = SetWindowsHookExW(WH_CALLWNDPROCRET, proc, hook, process.dwThreadId);
    ResumeThread(process.hThread);
    if (!installed) {
        TerminateProcess(process.hProcess, 1);
        std::fprintf(stderr, "first_paint_probe: cannot set the hook\n");
        return 1;
    }
    // The program ends itself at its first paint; one that never paints is ended here.
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    UnhookWindowsHookEx(installed);
    std::fflush(stdout);

    HANDLE file = CreateFileW(out.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;  // the program printed its own figure, or none
    char text[64] = {};
    DWORD read = 0;
    ReadFile(file, text, sizeof text - 1, &read, nullptr);
    CloseHandle(file);
    DeleteFileW(out.c_str());
    std::fputs(text, stdout);
    return 0;
}

#endif
