// Starts a program and ends with the exit code Windows records for it.
// Under user-mode emulation a 32-bit process may crash in the emulator's
// own teardown after it has ended, and its Linux exit status then tells a
// signal instead of the code the program passed to ExitProcess; this relay,
// a native 64-bit program, reads the code as a Windows parent does. The
// child lives in a job that ends with the relay, so ending the relay ends
// the program too.
// usage: exit_relay.exe program.exe [arguments...]
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

// The command line less the relay's own first argument, as it was given.
std::wstring ChildCommandLine() {
    const wchar_t* line = GetCommandLineW();
    bool quoted = false;
    for (; *line != L'\0' && (quoted || (*line != L' ' && *line != L'\t')); ++line)
        if (*line == L'"') quoted = !quoted;
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job) SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    std::wstring command = ChildCommandLine();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(argv[1], command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &child)) {
        return 3;
    }
    if (job) AssignProcessToJobObject(job, child.hProcess);
    ResumeThread(child.hThread);
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    return static_cast<int>(code);
}
