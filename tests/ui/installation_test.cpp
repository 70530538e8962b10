#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>

#include "install/installation.h"
#include "install/record.h"
#include "startup/program.h"
#include "tests/fakes/recording.h"
#include "tests/platform/test_support.h"
#include "ui/pages.h"
#include "ui/window.h"

using namespace varnel;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Runs an installation into C:\varnel_run_test; keeps whatever install path
// record and desktop link the prefix had and puts them back afterwards.
struct InstallationRun : ::testing::Test {
    // The record and the desktop link are shared with tests in other processes.
    testing_support::MachineLock lock;
    std::string base = "C:\\varnel_run_test";
    std::string directory = base + "\\varnel";
    std::string record = InstallPathRecordPath();
    std::string link = SpecialFolderPath(kDesktopFolder) + "Varnel.lnk";
    std::string savedRecord;
    bool hadRecord = false;

    void SetUp() override {
        FindElement("x");  // binds the recording library
        Recording::Reset();
        Program().windowHandle = 1000;
        Program().window.SetHandle(1000);
        LookUpPages();
        hadRecord = Exists(record);
        savedRecord = ReadFile(record);
        DeleteFileA(link.c_str());
        Recording::Reset();
        Recording::SetText(L"编辑框_安装位置", L"C:\\varnel_run_test");
    }
    void TearDown() override {
        for (int i = 1; i <= 9; ++i) {
            const std::string item = directory + "\\item" + std::to_string(i) + ".dll";
            SetFileAttributesA(item.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(item.c_str());
        }
        RemoveDirectoryA(directory.c_str());
        RemoveDirectoryA(base.c_str());
        DeleteFileA(link.c_str());
        if (hadRecord) {
            std::ofstream(record, std::ios::binary) << savedRecord;
        } else {
            DeleteFileA(record.c_str());
        }
    }
};

}  // namespace

TEST_F(InstallationRun, UnpacksEveryItemWithStatusAndProgressThenFinishes) {
    OnButtonClick(8 /* 按钮_立即安装 */, nullptr);
    const std::string calls = Recording::Calls();

    std::string expected =
        "XWidget_Show(1,0)\nXWidget_Show(3,0)\nXWidget_Show(4,0)\nXWidget_Show(2,0)\nXWidget_Show(3,1)\n"
        "XWnd_AdjustLayout(1000)\nXWnd_Redraw(1000,0)\n"
        "XShapeText_SetText(15,创建文件夹：C:\\varnel_run_test\\varnel)\n"
        "XShapeText_SetText(15,打开文件：Varnel.ZIP)\n";
    const int positions[] = {11, 22, 33, 44, 55, 66, 77, 88, 100};
    for (int i = 1; i <= 9; ++i) {
        expected += "XShapeText_SetText(15,解压文件：C:\\varnel_run_test\\varnel\\item" + std::to_string(i) + ".dll)\n";
        expected += "XProgBar_SetPos(16," + std::to_string(positions[i - 1]) + ")\n";
    }
    expected +=
        "XWidget_Show(1,0)\nXWidget_Show(3,0)\nXWidget_Show(4,0)\nXWidget_Show(2,0)\nXWidget_Show(4,1)\n"
        "XWnd_AdjustLayout(1000)\nXWnd_Redraw(1000,0)\n";
    EXPECT_EQ(calls, expected);

    for (int i = 1; i <= 9; ++i)
        EXPECT_EQ(ReadFile(directory + "\\item" + std::to_string(i) + ".dll"), "item " + std::to_string(i) + "\n");
    EXPECT_EQ(ReadFile(record), directory);  // the bytes of the path, nothing else
    EXPECT_TRUE(Exists(link));
    EXPECT_EQ(Program().installDirectory, directory);
}

TEST_F(InstallationRun, WithoutTheShortcutBoxTheRecordIsStillWritten) {
    Recording::SetCheck(L"按钮_快捷方式", false);
    Recording::SetText(L"编辑框_安装位置", L"C:\\\\varnel_run_test\\\\\\");  // doubled and trailing backslashes
    OnButtonClick(5 /* 按钮_快速安装 */, nullptr);
    EXPECT_FALSE(Exists(link));
    EXPECT_EQ(ReadFile(record), directory);
    EXPECT_NE(Recording::Calls().find("XWidget_Show(4,1)"), std::string::npos);
}

TEST_F(InstallationRun, AnItemThatCannotBeWrittenEndsTheRunOnTheProgressPageNamingIt) {
    CreateDirectoryA(base.c_str(), nullptr);
    CreateDirectoryA(directory.c_str(), nullptr);
    // item3 already holds its bytes and counts as done; item5 is another file.
    for (const auto& [item, text] : {std::pair{3, "item 3\n"}, std::pair{5, "kept\n"}}) {
        const std::string path = directory + "\\item" + std::to_string(item) + ".dll";
        std::ofstream(path, std::ios::binary) << text;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    OnButtonClick(8 /* 按钮_立即安装 */, nullptr);
    const std::string calls = Recording::Calls();

    const std::string failed = "XShapeText_SetText(15,安装失败：无法写入文件 C:\\varnel_run_test\\varnel\\item5.dll)\n";
    EXPECT_NE(calls.find("XProgBar_SetPos(16,44)\n" + failed), std::string::npos) << calls;
    EXPECT_TRUE(calls.ends_with(failed)) << calls;  // nothing after it: no finish page
    EXPECT_EQ(ReadFile(directory + "\\item5.dll"), "kept\n");
    EXPECT_EQ(ReadFile(directory + "\\item4.dll"), "item 4\n");  // what was unpacked stays
    EXPECT_FALSE(Exists(directory + "\\item6.dll"));
    EXPECT_FALSE(Exists(link));
    EXPECT_EQ(Exists(record), hadRecord);
    EXPECT_EQ(ReadFile(record), savedRecord);
}
