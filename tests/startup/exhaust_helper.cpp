// Runs out of memory, or ends the process, the ways the installer can:
//   (no argument)   eats the heap, then asks for memory the way the program
//                   does: the report must still end the process with -1,
//                   not overflow its stack;
//   two-threads     a second thread runs out while the first one's box is
//                   up: one box, and the first report ends the process;
//   end-twice FILE  a second thread ends the process while the first one
//                   is releasing: one release, the first one's exit code.
#include <windows.h>

#include <cstdlib>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>

#include "startup/program.h"

void* volatile gLast;  // the blocks are used, so no allocation can be dropped

namespace {

std::string gReleaseLog;

BOOL CALLBACK FindOwnBox(HWND window, LPARAM found) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[16] = {};
    GetWindowTextA(window, title, sizeof title);
    if (owner != GetCurrentProcessId() || std::string(title) != "错误") return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

void WaitForOwnBox() {
    for (bool found = false; !found; Sleep(20)) EnumWindows(FindOwnBox, reinterpret_cast<LPARAM>(&found));
}

void FailToAllocate() {
    volatile std::size_t huge = SIZE_MAX - 0xFF;  // more than the address space holds
    gLast = ::operator new(huge);
}

void SlowRelease() {
    Sleep(300);
    std::ofstream(gReleaseLog, std::ios::app) << "released\n";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    // As in the installer, the display is in use before memory runs out.
    CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    const std::string mode = commandLine;
    if (mode == "two-threads") {
        std::thread(FailToAllocate).detach();
        WaitForOwnBox();
        FailToAllocate();
        return 0;
    }
    if (mode.starts_with("end-twice ")) {
        gReleaseLog = mode.substr(10);
        varnel::RegisterReleaseRoutine(SlowRelease);
        std::thread([] { varnel::EndProcess(3); }).detach();
        Sleep(100);
        varnel::EndProcess(4);
    }
    for (std::size_t size = 1 << 20; size >= 16; size /= 16)
        for (void* block = std::malloc(size); block; block = std::malloc(size)) gLast = block;
    gLast = ::operator new(4096);
    return 0;
}
