#include <gtest/gtest.h>

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
    volatile std::size_t huge = 0xFFFFFF00u;  // volatile: no compile-time size check
    try {
        void* volatile block = ::operator new(huge);  // volatile: the pair may not be elided
        ::operator delete(block);
        GTEST_SKIP() << "the allocation succeeded";
    } catch (const RuntimeErrorRaised& error) {
        EXPECT_EQ(std::string(error.what()), "运行时出错!\r\n\r\n错误信息：分配 4294967040 字节内存失败!\r\n\r\n0, 0\r\n");
    }
}
