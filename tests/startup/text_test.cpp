#include <gtest/gtest.h>

#include <windows.h>

#include "startup/text.h"

using namespace varnel;

TEST(TextToUtf16, ConvertsGbkWithOrWithoutTerminator) {
    EXPECT_EQ(TextToUtf16("安装", false), std::wstring(L"\u5B89\u88C5", 3));
    EXPECT_EQ(TextToUtf16("安装", true), L"\u5B89\u88C5");
    EXPECT_TRUE(TextToUtf16("", false).empty());
    EXPECT_TRUE(TextToUtf16("", true).empty());
    EXPECT_EQ(TextToUtf16(std::string_view("ab\0cd", 5), true), L"ab");
}

TEST(ExactAnsiText, EmptyWhenTheCodePageWouldApproximate) {
    EXPECT_EQ(ExactAnsiText(L"D:\\游戏\\varnel"), "D:\\游戏\\varnel");  // code page 936 here
    EXPECT_EQ(ExactAnsiText(L"D:\\\uD55C\uAD6D\\varnel"), "");  // Korean: "D:\??\varnel" in GBK
    EXPECT_EQ(ExactAnsiText(L""), "");
}

TEST(CutAtWideNul, CutsAtTheFirstZeroCharacter) {
    const Bytes ab0c = {'a', 0, 'b', 0, 0, 0, 'c', 0};
    EXPECT_EQ(CutAtWideNul(ab0c, false), (Bytes{'a', 0, 'b', 0}));
    EXPECT_EQ(CutAtWideNul(ab0c, true), (Bytes{'a', 0, 'b', 0, 0, 0}));
    EXPECT_EQ(CutAtWideNul(Bytes{'a', 0, 'b'}, false), (Bytes{'a', 0}));  // odd length
    EXPECT_TRUE(CutAtWideNul(Bytes{0, 0, 'a', 0}, true).empty());       // nothing before the 0
    EXPECT_TRUE(CutAtWideNul(Bytes{'a'}, true).empty());                 // shorter than a character
    EXPECT_EQ(CutAtWideNul(Bytes{'a', 0, 'b', 0}, false), (Bytes{'a', 0, 'b', 0}));  // no 0 at all
}

TEST(JoinHelpers, JoinInOrderAndTreatEmptyAsNothing) {
    EXPECT_EQ(JoinTexts("C:", "", "\\XCGUI.dll"), "C:\\XCGUI.dll");
    EXPECT_EQ(JoinTexts(std::string(), std::string()), "");
    EXPECT_EQ(JoinBuffers(Bytes{1, 2}, Bytes{}, Bytes{3}), (Bytes{1, 2, 3}));
    EXPECT_TRUE(JoinBuffers(Bytes{}, Bytes{}).empty());
}

TEST(FileExists, IsTrueForFilesOnly) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "varnel_fileexists_测试" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string file = folder + "\\文件.txt";
    ASSERT_TRUE(WriteBufferToFile(file, Bytes{'x'}));
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FileExists(folder));
    EXPECT_FALSE(FileExists(folder + "\\missing.txt"));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(WriteBufferToFile("", Bytes{'x'}));
    EXPECT_FALSE(WriteBufferToFile(folder, Bytes{'x'}));  // a folder cannot be written
    DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());
}
