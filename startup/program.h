// Program-wide values, start-up and shutdown.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "startup/text.h"
#include "startup/ui_library.h"

namespace varnel {

// The UI package as the UI library reads it: the program's own copy of the
// embedded package and the password (an empty UTF-16 string, one 0 char).
struct UiPackageRecord {
    std::wstring password;
    Bytes package;
    const std::uint8_t* address = nullptr;
    int length = 0;
};

// Forwards to the UI library's application exports.
struct UiApplication {
    void Initialise(int flag) const;
};

// Holds the window handle and forwards to the XWnd_ exports with it.
class WindowWrapper {
public:
    xc::Handle GetHandle() const { return handle_; }
    void SetHandle(xc::Handle handle) { handle_ = handle; }
    void EnableDragBorder(BOOL enable) const;
    BOOL Show(BOOL show) const;
    void AdjustLayout() const;
    void Redraw(BOOL immediate) const;
    HWND GetHWND() const;

private:
    xc::Handle handle_ = 0;
};

struct ProgramValues {
    UiPackageRecord uiPackage;
    UiApplication uiApplication;
    WindowWrapper window;
    xc::Handle windowHandle = 0;              // the same handle, kept plain
    std::array<xc::Handle, 4> pages{};        // page table
    std::string installDirectory;             // current install directory
};

// Program directory (no trailing backslash; empty when the program path has
// none), set before anything else runs.
const std::string& ProgramDirectory();

// The directory part of a program path: cut at its last backslash (a
// character of its own, not the second byte of a GBK character); empty when
// there is none.
std::string DirectoryOf(const std::string& path);

// The program-wide values, from start-up to shutdown.
ProgramValues& Program();

// Conversion code page (936) and OS version word ((major << 8) | minor).
int ConversionCodePage();
int OsVersionWord();

// Start-up step 1: program directory, current directory, OLE, DLL search.
void PrepareProcess();

// Registers a routine that shutdown step 1 runs; a second registration of the
// same routine keeps one entry; they run in registration order.
void RegisterReleaseRoutine(void (*routine)());

// Work that writes files on a thread of its own sets how to give up what it
// has in hand: EndProcess calls it first, on whichever thread ends the
// process, so no file is left cut short. One at a time; clearing takes only
// the context that set it, and waits while the routine runs.
using GiveUpRoutine = void (*)(void* context);
void SetWorkInHand(GiveUpRoutine giveUp, void* context);
void ClearWorkInHand(void* context);

// True while the UI library's message loop runs.
void SetUiLoopRunning(bool running);

// Runs the shutdown steps and ends the process with the code. The first
// thread to call it ends the process; another one calling it meanwhile waits
// for that end, and the same one calling it again exits at once.
[[noreturn]] void EndProcess(int exitCode);

// The program entry: start-up steps, StartRoutine, shutdown with code 0.
[[noreturn]] void StartUp();

// Deploys the UI library, then runs the installer window.
int StartRoutine();

}  // namespace varnel
