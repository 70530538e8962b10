#include <gtest/gtest.h>

#include "startup/external.h"
#include "startup/program.h"
#include "startup/runtime_error.h"
#include "tests/startup/test_support.h"

using namespace varnel;

namespace {

std::string ExpectedBoxText(const std::string& message) {
    return "运行时出错!\r\n\r\n错误信息：" + message + "\r\n\r\n0, 0\r\n";
}

}  // namespace

TEST(RuntimeErrorBox, TextHasItsPiecesInOrder) {
    EXPECT_EQ(RuntimeErrorText("", 0, 0, 0), "运行时出错!\r\n\r\n0, 0\r\n");
    EXPECT_EQ(RuntimeErrorText("调用DLL命令后发现堆栈错误", 6, 12, 34),
              "运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：调用DLL命令后发现堆栈错误\r\n\r\n12, 34\r\n");
    EXPECT_EQ(BindingFailureMessage("", "Foo"), "无法找到指定DLL库文件中的输出命令“Foo”");
}

TEST(ExternalBinding, UiLibraryRowsBindFromTheProgramDirectoryOnce) {
    ASSERT_FALSE(ext::IsBound(12));
    void* first = ext::BindExternal(12);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(ext::IsBound(12));
    EXPECT_EQ(ext::BindExternal(12), first);
    // The library bound is the one beside the program (the recording stand-in).
    HMODULE beside = GetModuleHandleA((ProgramDirectory() + "\\xcgui.dll").c_str());
    ASSERT_NE(beside, nullptr);
    EXPECT_NE(GetProcAddress(beside, "Test_Calls"), nullptr);
    EXPECT_EQ(first, reinterpret_cast<void*>(GetProcAddress(beside, "XC_GetObjectByName")));
}

TEST(ExternalBinding, RowWhoseLibraryNameEndsInABlankBindsTheSameLibrary) {
    EXPECT_EQ(std::string(ext::RowAt(15).library), "xcgui.dll ");
    const char* text = ext::XC_wtoa(L"abc");
    EXPECT_STREQ(text, "abc");
    HMODULE beside = GetModuleHandleA((ProgramDirectory() + "\\xcgui.dll").c_str());
    EXPECT_EQ(ext::BindExternal(15), reinterpret_cast<void*>(GetProcAddress(beside, "XC_wtoa")));
}

TEST(ExternalBinding, MissingExportAndMissingLibraryGiveTheSameMessage) {
    CatchRuntimeErrors catching;
    // Row 69 is in the table but the library does not export it.
    try {
        ext::BindExternal(69);
        FAIL() << "bound a missing export";
    } catch (const RuntimeErrorRaised& error) {
        EXPECT_EQ(error.what(), ExpectedBoxText("无法找到指定DLL库文件“xcgui.dll”中的输出命令“XUI_EnableCssEx”"));
    }
    EXPECT_FALSE(ext::IsBound(69));
    HMODULE module = nullptr;
    try {
        ext::BindRow({"nosuch.dll", "XC_wtoa"}, &module);
        FAIL() << "bound a missing library";
    } catch (const RuntimeErrorRaised& error) {
        EXPECT_EQ(error.what(), ExpectedBoxText("无法找到指定DLL库文件“nosuch.dll”中的输出命令“XC_wtoa”"));
    }
}

TEST(ExternalBinding, SystemRowsIgnoreALibraryPlantedBesideTheProgram) {
    // A Comdlg32.dll whose GetFileTitleW returns 0x7777 lies beside this program.
    wchar_t title[64] = {};
    const short result = ext::GetFileTitleW(L"C:\\a\\b.txt", title, 64);
    EXPECT_NE(result, 0x7777);
    EXPECT_EQ(result, 0);
}

TEST(ExternalBinding, AnUntrustedUiLibraryIsNeverLoaded) {
    CatchRuntimeErrors catching;
    ext::SetUiLibraryTrusted(false);
    HMODULE module = nullptr;
    EXPECT_THROW(ext::BindRow({"xcgui.dll", "XC_wtoa"}, &module), RuntimeErrorRaised);
    ext::SetUiLibraryTrusted(true);
}

TEST(ExternalBinding, OrdinalRowsAndTheSystemLibrarySearch) {
    CatchRuntimeErrors catching;
    HMODULE module = nullptr;
    // No library name: the system libraries are tried in order.
    void* address = ext::BindRow({"", "GetTickCount"}, &module);
    EXPECT_EQ(address, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount")));
    FreeLibrary(module);
    EXPECT_THROW(ext::BindRow({"", "NoSuchExportAnywhere"}, &module), RuntimeErrorRaised);
}

TEST(ExternalBinding, CallerCleansRowsAnswerAndLeaveTheStackAsTheyFoundIt) {
    // Rows 0, 21, 22 and 26 are C runtime functions, after which the caller
    // removes the arguments. Declared in the other convention, every call on
    // i686 would move the stack by the size of its arguments, and this many
    // calls would run far past the thread's stack. On x86_64 there is one
    // convention; the rows must bind there all the same.
    const volatile std::uint32_t canary = 0x5A17C0DE;
    for (int i = 0; i < 100000; ++i) {
        char word[] = "VaRnEl.EXE";
        wchar_t path[16] = L"D:\\";
        ASSERT_EQ(ext::strlen_(word), 10u);
        ASSERT_STREQ(ext::strlwr_(word), "varnel.exe");
        ASSERT_EQ(ext::strstr_(word, ".exe"), word + 6);
        ASSERT_STREQ(ext::wcscat_(path, L"varnel"), L"D:\\varnel");
    }
    EXPECT_EQ(canary, 0x5A17C0DEu);
    for (int row : {0, 21, 22, 26}) EXPECT_TRUE(ext::IsBound(row)) << row;
}
