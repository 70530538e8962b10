#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <windows.h>

#include "startup/program.h"
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
    HWND found = nullptr;
};

BOOL CALLBACK FindBoxOf(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<BoxSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[16] = {};
    GetWindowTextA(window, title, sizeof title);
    if (owner == search.process && std::string(title) == "错误") search.found = window;
    return search.found == nullptr;
}

}  // namespace

TEST(MemoryExhaustion, WhenEvenTheBoxTextCannotBeMadeABoxStillShowsAndTheExitCodeIsMinusOne) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string helper = DirectoryOf(self) + "\\exhaust_helper.exe";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessA(helper.c_str(), helper.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &child));
    bool boxShown = false;
    DWORD waited = WAIT_TIMEOUT;
    for (int i = 0; i < 600 && waited == WAIT_TIMEOUT; ++i) {
        BoxSearch search{child.dwProcessId};
        EnumWindows(FindBoxOf, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            boxShown = true;
            PostMessageA(search.found, WM_CLOSE, 0, 0);  // the user presses OK
        }
        waited = WaitForSingleObject(child.hProcess, 100);
    }
    if (waited == WAIT_TIMEOUT) TerminateProcess(child.hProcess, 1);
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "the helper hung";
    EXPECT_EQ(code, 0xFFFFFFFFu);
    EXPECT_TRUE(boxShown);
}
