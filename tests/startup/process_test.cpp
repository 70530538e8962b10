#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <windows.h>

#include "startup/program.h"
#include "tests/patience.h"
#include "tests/startup/test_support.h"

using namespace varnel;

TEST(ProgramDirectory, IsThePathCutAtItsLastBackslash) {
    EXPECT_EQ(DirectoryOf("C:\\x.exe"), "C:");  // the UI library path then is C:\XCGUI.dll
    EXPECT_EQ(DirectoryOf("D:\\下载\\VarnelSetup.exe"), "D:\\下载");
    EXPECT_EQ(DirectoryOf("VarnelSetup.exe"), "");
    // 0x5C as the second byte of a double-byte character is no separator.
    EXPECT_EQ(DirectoryOf("D:\\a\\\x81\x5C.exe"), "D:\\a");
    EXPECT_EQ(DirectoryOf("D:\\\x81\x5C\\b.exe"), "D:\\\x81\x5C");
}

TEST(ProgramDirectory, BecomesTheCurrentDirectoryAtStart) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    SetCurrentDirectoryA(temp);
    PrepareProcess();
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_EQ(std::string(current), ProgramDirectory());
    EXPECT_NE(ProgramDirectory().find("startup_tests"), std::string::npos);
}

TEST(ProgramValues, OsVersionWordFollowsTheSystem) {
    const DWORD version = GetVersion();
    EXPECT_EQ(OsVersionWord(), static_cast<int>(((version & 0xFF) << 8) | ((version >> 8) & 0xFF)));
    EXPECT_GE(OsVersionWord(), 0x501);
    EXPECT_EQ(ConversionCodePage(), 936);
}

TEST(MemoryExhaustion, ShowsTheSizeInTheRuntimeErrorBox) {
    CatchRuntimeErrors catching;
    // More than the address space holds, whole: 4294967040 on i686, 2^64 - 256 on x86_64.
    volatile std::size_t huge = SIZE_MAX - 0xFF;  // volatile: no compile-time size check
    try {
        void* volatile block = ::operator new(huge);  // volatile: the pair may not be elided
        ::operator delete(block);
        GTEST_SKIP() << "the allocation succeeded";
    } catch (const RuntimeErrorRaised& error) {
        EXPECT_EQ(std::string(error.what()),
                  "运行时出错!\r\n\r\n错误信息：分配 " + std::to_string(huge) + " 字节内存失败!\r\n\r\n0, 0\r\n");
    }
}

namespace {

struct BoxSearch {
    DWORD process;
    std::set<HWND> found;
};

BOOL CALLBACK FindBoxesOf(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<BoxSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[16] = {};
    GetWindowTextA(window, title, sizeof title);
    if (owner == search.process && std::string(title) == "错误") search.found.insert(window);
    return TRUE;
}

struct HelperEnd {
    DWORD waited = WAIT_TIMEOUT;
    DWORD code = 0;
    std::size_t boxes = 0;  // error boxes seen, each once
};

// Runs exhaust_helper.exe with the arguments. Its error boxes are answered
// like a user pressing OK, `holdMs` after the first one showed (so a second
// one has time to show as well).
HelperEnd RunExhaustHelper(const std::string& arguments, DWORD holdMs = 0) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string helper = DirectoryOf(self) + "\\exhaust_helper.exe";
    std::string commandLine = "\"" + helper + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    HelperEnd end;
    if (!CreateProcessA(helper.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &child)) {
        ADD_FAILURE() << "the helper did not start";
        return end;
    }
    BoxSearch search{child.dwProcessId, {}};
    ULONGLONG firstSeen = 0;
    for (DWORD i = 0; i < testing_support::Patience(600) && end.waited == WAIT_TIMEOUT; ++i) {
        EnumWindows(FindBoxesOf, reinterpret_cast<LPARAM>(&search));
        if (!search.found.empty() && firstSeen == 0) firstSeen = GetTickCount64();
        if (firstSeen != 0 && GetTickCount64() - firstSeen >= holdMs)
            for (HWND box : search.found) PostMessageA(box, WM_CLOSE, 0, 0);  // the user presses OK
        end.waited = WaitForSingleObject(child.hProcess, 100);
    }
    if (end.waited == WAIT_TIMEOUT) TerminateProcess(child.hProcess, 1);
    GetExitCodeProcess(child.hProcess, &end.code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    end.boxes = search.found.size();
    return end;
}

}  // namespace

TEST(MemoryExhaustion, WhenEvenTheBoxTextCannotBeMadeABoxStillShowsAndTheExitCodeIsMinusOne) {
    const HelperEnd end = RunExhaustHelper("");
    EXPECT_EQ(end.waited, WAIT_OBJECT_0) << "the helper hung";
    EXPECT_EQ(end.code, 0xFFFFFFFFu);
    EXPECT_GE(end.boxes, 1u);
}

// The extraction thread and the window's thread can run out together: the
// first report is the one the user sees, and it alone ends the process.
TEST(MemoryExhaustion, TwoThreadsRunningOutShowOneBoxAndEndWithMinusOne) {
    const HelperEnd end = RunExhaustHelper("two-threads", 1500);
    EXPECT_EQ(end.waited, WAIT_OBJECT_0) << "the helper hung";
    EXPECT_EQ(end.code, 0xFFFFFFFFu);
    EXPECT_EQ(end.boxes, 1u);
}

TEST(ProcessEnd, ASecondThreadEndingMeanwhileWaitsForTheFirstEnd) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string log = std::string(temp) + "varnel-release-" + std::to_string(GetCurrentProcessId()) + ".log";
    DeleteFileA(log.c_str());
    const HelperEnd end = RunExhaustHelper("end-twice " + log);
    EXPECT_EQ(end.waited, WAIT_OBJECT_0) << "the helper hung";
    EXPECT_EQ(end.code, 3u) << "the first end's code";
    std::ifstream in(log);
    const std::string released((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(released, "released\n") << "the release routine ran once, to its end";
    in.close();
    DeleteFileA(log.c_str());
}
