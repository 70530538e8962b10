#include "startup/program.h"

#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <vector>

#include "startup/deploy.h"
#include "startup/external.h"
#include "startup/text.h"
#include "ui/window.h"

namespace varnel {
namespace {

std::vector<void (*)()> gReleaseRoutines;
bool gUiLoopRunning = false;

// A slim lock: it is taken on the way out after memory ran out, so it must
// not allocate (the C++ library's mutex may, on its first use).
SRWLOCK gWorkInHandLock = SRWLOCK_INIT;
GiveUpRoutine gGiveUp = nullptr;
void* gGiveUpContext = nullptr;

class WorkInHandGuard {
public:
    WorkInHandGuard() { AcquireSRWLockExclusive(&gWorkInHandLock); }
    ~WorkInHandGuard() { ReleaseSRWLockExclusive(&gWorkInHandLock); }
    WorkInHandGuard(const WorkInHandGuard&) = delete;
    WorkInHandGuard& operator=(const WorkInHandGuard&) = delete;
};

void GiveUpWorkInHand() {
    const WorkInHandGuard guard;
    if (gGiveUp) gGiveUp(gGiveUpContext);
}

}  // namespace

// Cut at the last backslash that is a character of its own: in GBK a 0x5C
// byte can also be the second byte of a double-byte character.
std::string DirectoryOf(const std::string& path) {
    size_t cut = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        // The path comes from the ANSI side, so its own code page decides.
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            ++i;
        } else if (path[i] == '\\') {
            cut = i;
        }
    }
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

namespace {

// The program's path in full, however long; empty when the system gives
// none.
std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    while (path.size() <= 32768) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);  // cut short: ask again with room to spare
    }
    return {};
}

// Empty unless the ANSI code page can name the folder exactly: a cut or
// approximated path would lead the library's write and load somewhere else.
std::string FindProgramDirectory() {
    const std::string path = ExactAnsiText(ProgramPath());
    return path.empty() ? std::string() : DirectoryOf(path);
}

int ComputeOsVersionWord() {
    // GetVersion reads the version the process environment block holds,
    // which follows the program's manifest.
    const DWORD version = GetVersion();
    return static_cast<int>(((version & 0xFF) << 8) | ((version >> 8) & 0xFF));
}

// Loading DLLs by bare name must never look into the program or current
// directory: an elevated installer in a download folder is a planting target.
void MakeDllSearchSafe() {
    SetDllDirectoryA("");
    using SetDefaultDllDirectories_t = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectories_t>(
        reinterpret_cast<void*>(::GetProcAddress(ext::GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void ReleaseProgramValues() {
    ProgramValues& values = Program();
    values.uiPackage = {};
    values.uiApplication = {};
    values.window = {};
    values.installDirectory = {};
    values.pages = {};
}

}  // namespace

const std::string& ProgramDirectory() {
    static const std::string directory = FindProgramDirectory();
    return directory;
}

ProgramValues& Program() {
    static ProgramValues values;
    return values;
}

int ConversionCodePage() { return 936; }

int OsVersionWord() {
    static const int word = ComputeOsVersionWord();
    return word;
}

void PrepareProcess() {
    MakeDllSearchSafe();
    OleInitialize(nullptr);
    // Never the drive root for want of a folder.
    if (!ProgramDirectory().empty()) SetCurrentDirectoryA(JoinTexts(ProgramDirectory(), "\\").c_str());
}

void RegisterReleaseRoutine(void (*routine)()) {
    for (auto* registered : gReleaseRoutines)
        if (registered == routine) return;
    gReleaseRoutines.push_back(routine);
}

void SetWorkInHand(GiveUpRoutine giveUp, void* context) {
    const WorkInHandGuard guard;
    gGiveUp = giveUp;
    gGiveUpContext = context;
}

void ClearWorkInHand(void* context) {
    const WorkInHandGuard guard;
    if (gGiveUpContext != context) return;
    gGiveUp = nullptr;
    gGiveUpContext = nullptr;
}

void SetUiLoopRunning(bool running) { gUiLoopRunning = running; }

void EndProcess(int exitCode) {
    // Two threads failing at once must not release anything twice.
    static std::atomic<DWORD> endingThread = 0;
    DWORD ending = 0;
    if (!endingThread.compare_exchange_strong(ending, GetCurrentThreadId())) {
        if (ending == GetCurrentThreadId()) ExitProcess(static_cast<UINT>(exitCode));  // failed while shutting down
        for (;;) Sleep(INFINITE);  // the other thread ends the process
    }
    GiveUpWorkInHand();
    for (auto* routine : gReleaseRoutines) routine();
    // Ending from inside the UI library's message loop (the launch button):
    // its code is still on the stack, so it stays loaded until the exit.
    if (!gUiLoopRunning) ext::ReleaseBoundLibraries();
    OleUninitialize();
    ExitProcess(static_cast<UINT>(exitCode));
}

int StartRoutine() {
    DeployUiLibrary();
    RunInstallerUi();
    return 0;
}

void StartUp() {
    PrepareProcess();
    Program();
    RegisterReleaseRoutine(ReleaseProgramValues);
    ConversionCodePage();
    OsVersionWord();
    StartRoutine();
    EndProcess(0);
}

void UiApplication::Initialise(int flag) const { ext::XInitXCGUI(flag); }

void WindowWrapper::EnableDragBorder(BOOL enable) const { ext::XWnd_EnableDragBorder(handle_, enable); }
BOOL WindowWrapper::Show(BOOL show) const { return ext::XWnd_Show(handle_, show); }
void WindowWrapper::AdjustLayout() const { ext::XWnd_AdjustLayout(handle_); }
void WindowWrapper::Redraw(BOOL immediate) const { ext::XWnd_Redraw(handle_, immediate); }
HWND WindowWrapper::GetHWND() const { return ext::XWnd_GetHWND(handle_); }

}  // namespace varnel
