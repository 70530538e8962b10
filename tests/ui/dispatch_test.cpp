#include <gtest/gtest.h>

#include "install/installation.h"
#include "startup/program.h"
#include "tests/fakes/recording.h"
#include "ui/notification.h"
#include "ui/pages.h"
#include "ui/window.h"

using namespace varnel;

namespace {

// Handles the recording library gives the layout's elements.
enum : xc::Handle { kPage1 = 1, kPage2, kPage3, kPage4, kQuick, kCustom, kBrowse, kInstallNow, kBack, kLaunch,
                    kPathLabel, kEdit, kAgreement, kShortcut, kStatus, kBar, kTitle, kVersion };

struct WindowLogic : ::testing::Test {
    void SetUp() override {
        ASSERT_NE(Recording::Library(), nullptr) << "the recording xcgui.dll is not loaded yet";
        Recording::Reset();
        Program().windowHandle = 1000;
        Program().window.SetHandle(1000);
        LookUpPages();
        Recording::Reset();
    }
};

// Loads the library through the program's own binding before any test.
struct LoadRecording : ::testing::Environment {
    void SetUp() override { FindElement("布局元素_1"); }
};
const auto* const kLoad = ::testing::AddGlobalTestEnvironment(new LoadRecording);

}  // namespace

TEST(WindowConstruction, CallsTheLibraryInItsFixedOrder) {
    FindElement("x");
    Recording::Reset();
    Program().uiPackage.password = ToWide("");
    Program().uiPackage.length = 16;
    RunInstallerUi();
    const std::string directory = Program().installDirectory;
    ASSERT_FALSE(directory.empty());
    const std::string expected =
        "XInitXCGUI(1)\nXC_EnableAutoDPI(1)\nXC_EnableAutoRedrawUI(1)\nXC_EnableResMonitor(0)\n"
        "XC_LoadResourceZipMem(16,resource.res,\"\")\nXC_LoadLayoutZipMem(16,main.xml,\"\",0,0)\n"
        "XWnd_EnableDragBorder(1000,0)\n"
        "XEle_RegEventC1(5,34)\nXEle_RegEventC1(6,34)\nXEle_RegEventC1(7,34)\n"
        "XEle_RegEventC1(8,34)\nXEle_RegEventC1(9,34)\nXEle_RegEventC1(10,34)\n"
        "XEdit_SetText(12," + directory + ")\nXShapeText_SetText(18,2024(4.1.0.0))\n"
        "XShapeText_SetText(17,Varnel - 安装程序(20241118))\nXShapeText_SetText(11," + directory + ")\n"
        "XWnd_Show(1000,1)\nXRunXCGUI()\nXExitXCGUI()\n";
    EXPECT_EQ(Recording::Calls(), expected);
    EXPECT_EQ(Program().pages, (std::array<xc::Handle, 4>{kPage1, kPage2, kPage3, kPage4}));
}

TEST(WindowConstruction, ToWideOfTheEmptyTextIsOneZeroCharacter) {
    const std::wstring empty = ToWide("");
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0], L'\0');
    EXPECT_EQ(ToWide("安装"), std::wstring(L"\u5B89\u88C5", 3));
    EXPECT_EQ(FindElement("没有这个元素"), 0);
}

TEST_F(WindowLogic, ShowPageHidesAllInItsOrderThenShowsOne) {
    ShowPage(Page(3));
    EXPECT_EQ(Recording::Calls(),
              "XWidget_Show(1,0)\nXWidget_Show(3,0)\nXWidget_Show(4,0)\nXWidget_Show(2,0)\n"
              "XWidget_Show(3,1)\nXWnd_AdjustLayout(1000)\nXWnd_Redraw(1000,0)\n");
}

TEST_F(WindowLogic, MissingPagesAreSkippedAndNoPageMeansNoRelayout) {
    Program().pages[2] = 0;
    ShowPage(0);
    EXPECT_EQ(Recording::Calls(), "XWidget_Show(1,0)\nXWidget_Show(4,0)\nXWidget_Show(2,0)\n");
}

TEST_F(WindowLogic, BackCarriesTheEditedDirectoryToPageOne) {
    Recording::SetText(L"编辑框_安装位置", L"E:\\游戏");
    OnButtonClick(kBack, nullptr);
    EXPECT_EQ(Recording::Calls(),
              "XShapeText_SetText(11,E:\\游戏)\nXWidget_Show(1,0)\nXWidget_Show(3,0)\nXWidget_Show(4,0)\n"
              "XWidget_Show(2,0)\nXWidget_Show(1,1)\nXWnd_AdjustLayout(1000)\nXWnd_Redraw(1000,0)\n");
}

TEST_F(WindowLogic, CustomInstallShowsPageTwoAndOtherClicksDoNothing) {
    OnButtonClick(kCustom, nullptr);
    EXPECT_NE(Recording::Calls().find("XWidget_Show(2,1)"), std::string::npos);
    Recording::Reset();
    for (xc::Handle other : {0, +kAgreement, +kShortcut, +kEdit, 1000, 999}) OnButtonClick(other, nullptr);
    EXPECT_EQ(Recording::Calls(), "");
}

TEST_F(WindowLogic, TextOperationsOnMissingElementsDoNothing) {
    Recording::RemoveElement(L"编辑框_安装位置");
    Recording::RemoveElement(L"标签_安装路径");
    EXPECT_EQ(GetEditText("编辑框_安装位置"), "");
    SetEditText("编辑框_安装位置", "C:\\x", true);
    SetShapeText("标签_安装路径", "C:\\x");
    EXPECT_EQ(Recording::Calls(), "");
    SetEditText("标签_3", "C:\\x", true);  // redraw only when asked
    EXPECT_EQ(Recording::Calls(), "XEdit_SetText(18,C:\\x)\nXEle_Redraw(18,0)\n");
}

TEST_F(WindowLogic, NotificationsCarryTitleSkinAndDefaults) {
    EXPECT_EQ(NotificationSkin("成功"), 1);
    EXPECT_EQ(NotificationSkin("错误"), 4);
    EXPECT_EQ(NotificationSkin("警告"), 2);
    EXPECT_EQ(NotificationSkin(""), 3);
    EXPECT_EQ(NotificationSkin("警"), 3);
    ShowNotification("安装位置无效。", "警告");
    ShowNotification("x", "?", 55);
    EXPECT_EQ(Recording::Calls(),
              "XNotifyMsg_WindowPopupEx(1000,1,通知,安装位置无效。,0,2,1,1,-1,-1)\n"
              "XNotifyMsg_WindowPopupEx(55,1,通知,x,0,3,1,1,-1,-1)\n");
}

TEST_F(WindowLogic, InstallWithoutAgreementOnlyShowsTheSuccessKindPopup) {
    Program().installDirectory = "D:\\before";
    Recording::SetCheck(L"按钮_用户协议", false);
    OnButtonClick(kInstallNow, nullptr);
    EXPECT_EQ(Recording::Calls(),
              "XNotifyMsg_WindowPopupEx(1000,1,通知,同意用户协议方可继续安装。,0,1,1,1,-1,-1)\n");
    EXPECT_EQ(Program().installDirectory, "D:\\before");
}

TEST_F(WindowLogic, InvalidLocationsLandOnPageTwoWithTheWarning) {
    for (const wchar_t* location : {L"", L"varnel", L"1:\\x", L"C:x", L"\\\\server\\share"}) {
        Recording::Reset();
        Recording::SetText(L"编辑框_安装位置", location);
        OnButtonClick(kQuick, nullptr);
        EXPECT_EQ(Recording::Calls(),
                  "XWidget_Show(1,0)\nXWidget_Show(3,0)\nXWidget_Show(4,0)\nXWidget_Show(2,0)\n"
                  "XWidget_Show(2,1)\nXWnd_AdjustLayout(1000)\nXWnd_Redraw(1000,0)\n"
                  "XNotifyMsg_WindowPopupEx(1000,1,通知,安装位置无效。,0,2,1,1,-1,-1)\n");
    }
}

TEST(InstallationProgress, QuotientFirstThenTruncated) {
    std::vector<int> nine;
    for (int i = 1; i <= 9; ++i) nine.push_back(ProgressPosition(i, 9));
    EXPECT_EQ(nine, (std::vector<int>{11, 22, 33, 44, 55, 66, 77, 88, 100}));
    EXPECT_EQ(ProgressPosition(1, 1), 100);
    EXPECT_EQ(ProgressPosition(29, 100), 28);
}

TEST_F(WindowLogic, APayloadThatCannotBeOpenedStopsOnTheProgressPage) {
    // This test program embeds no payload at all.
    Recording::SetText(L"编辑框_安装位置", L"C:\\varnel_no_payload");
    OnButtonClick(kQuick, nullptr);
    EXPECT_EQ(Recording::Calls(),
              "XWidget_Show(1,0)\nXWidget_Show(3,0)\nXWidget_Show(4,0)\nXWidget_Show(2,0)\nXWidget_Show(3,1)\n"
              "XWnd_AdjustLayout(1000)\nXWnd_Redraw(1000,0)\n"
              "XShapeText_SetText(15,创建文件夹：C:\\varnel_no_payload\\varnel)\n"
              "XShapeText_SetText(15,打开文件：Varnel.ZIP)\n"
              "XShapeText_SetText(15,安装失败：打开文件包失败,请点击下方按钮，下载绿色版。)\n");
    EXPECT_EQ(GetFileAttributesA("C:\\varnel_no_payload\\varnel"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    RemoveDirectoryA("C:\\varnel_no_payload\\varnel");
    RemoveDirectoryA("C:\\varnel_no_payload");
    EXPECT_EQ(Program().installDirectory, "C:\\varnel_no_payload\\varnel");
}
