// Reading the package from memory, and the exports of the built XCGUI.dll
// with good, damaged and missing input.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "resources.h"
#include "test_support.h"
#include "ui_library.h"
#include "zip_memory.h"

using xcgui::ReadZipEntry;
using xcgui::WideToUtf8;
using xcgui_test::MakeZip;

TEST(ZipMemory, FindsEntriesByNameWhateverTheSeparatorOrCase) {
    const std::string picture = WideToUtf8(L"img\\背景图（大）.png");
    const std::string longName(2000, 'n');  // beyond any fixed name buffer
    const auto zip = MakeZip({{"main.xml", "<windowUI/>"}, {picture, "PNG"}, {"Dir/Other.TXT", "x", false}, {longName, "long"}});
    const std::wstring longWide(2000, L'n');
    struct Case {
        const wchar_t* name;
        const char* want;  // nullptr: not found
    } cases[] = {
        {L"main.xml", "<windowUI/>"}, {L"MAIN.XML", "<windowUI/>"},   {L"img\\背景图（大）.png", "PNG"},
        {L"img/背景图（大）.png", "PNG"}, {L"dir\\other.txt", "x"}, {L"resource.res", nullptr},
        {L"img", nullptr}, {longWide.c_str(), "long"}, {longWide.substr(0, 1023).c_str(), nullptr},
    };
    for (const auto& c : cases) {
        const auto got = ReadZipEntry(zip.data(), zip.size(), c.name, L"");
        if (!c.want) {
            EXPECT_FALSE(got) << WideToUtf8(c.name);
        } else {
            ASSERT_TRUE(got) << WideToUtf8(c.name);
            EXPECT_EQ(std::string(got->begin(), got->end()), c.want);
        }
    }
}

TEST(ZipMemory, DamagedArchivesAreRefused) {
    std::string big(20000, 'a');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + (i * 7919) % 26);
    const auto zip = MakeZip({{"main.xml", big}});
    ASSERT_TRUE(ReadZipEntry(zip.data(), zip.size(), L"main.xml", L""));

    auto truncated = zip;
    truncated.resize(zip.size() / 2);
    auto corrupt = zip;  // flip bytes inside the deflated data
    for (size_t i = 60; i < 200 && i < corrupt.size(); ++i) corrupt[i] ^= 0x5A;
    auto noDirectory = zip;
    noDirectory.resize(zip.size() - 10);
    // Cut inside the end record: a short read there must not pass for zeros.
    auto oneShort = zip;
    oneShort.pop_back();
    const std::vector<std::uint8_t> garbage(500, 0x42);
    using Bytes = const std::vector<std::uint8_t>*;
    for (Bytes bytes : {Bytes{&truncated}, Bytes{&corrupt}, Bytes{&noDirectory}, Bytes{&oneShort}, Bytes{&garbage}})
        EXPECT_FALSE(ReadZipEntry(bytes->data(), bytes->size(), L"main.xml", L""));
    EXPECT_FALSE(ReadZipEntry(nullptr, 100, L"main.xml", L""));
    EXPECT_FALSE(ReadZipEntry(zip.data(), 0, L"main.xml", L""));
}

TEST(ZipMemory, TheBuiltPackageHoldsItsThreeDocuments) {
    const auto package = xcgui_test::RealPackage();
    ASSERT_FALSE(package.empty()) << "ui_package.zip not built";
    for (const wchar_t* name : {L"main.xml", L"resource.res", L"img\\背景图（大）.png"})
        EXPECT_TRUE(ReadZipEntry(package.data(), package.size(), name, L"")) << WideToUtf8(name);
}

// --- the DLL itself

namespace {

class Library : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dll = LoadLibraryW(L"XCGUI.dll"); }
    template <typename F>
    F* Get(const char* name) {
        return reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    }
    void SetUp() override {
        ASSERT_NE(dll, nullptr);
        Get<xc::XInitXCGUI_t>("XInitXCGUI")(TRUE);
        Get<xc::XC_EnableAutoRedrawUI_t>("XC_EnableAutoRedrawUI")(TRUE);
    }
    void TearDown() override { Get<xc::XExitXCGUI_t>("XExitXCGUI")(); }
    int Load(const std::vector<std::uint8_t>& package) {
        Get<xc::XC_LoadResourceZipMem_t>("XC_LoadResourceZipMem")(package.data(), static_cast<int>(package.size()),
                                                                    L"resource.res", L"");
        return Get<xc::XC_LoadLayoutZipMem_t>("XC_LoadLayoutZipMem")(package.data(), static_cast<int>(package.size()),
                                                                     L"main.xml", L"", 0, nullptr);
    }
    int Find(const wchar_t* name) { return Get<xc::XC_GetObjectByName_t>("XC_GetObjectByName")(name); }
    static inline HMODULE dll = nullptr;
};

}  // namespace

TEST_F(Library, LoadsTheRealPackageAndFindsItsElements) {
    const auto package = xcgui_test::RealPackage();
    EXPECT_TRUE(Get<xc::XC_LoadResourceZipMem_t>("XC_LoadResourceZipMem")(
        package.data(), static_cast<int>(package.size()), L"resource.res", L""));
    const int window = Get<xc::XC_LoadLayoutZipMem_t>("XC_LoadLayoutZipMem")(
        package.data(), static_cast<int>(package.size()), L"main.xml", L"", 0, nullptr);
    ASSERT_NE(window, 0);
    EXPECT_NE(Get<xc::XWnd_GetHWND_t>("XWnd_GetHWND")(window), nullptr);
    EXPECT_NE(Find(L"按钮_快速安装"), 0);
    EXPECT_EQ(Find(L"不存在"), 0);
    EXPECT_TRUE(Get<xc::XBtn_IsCheck_t>("XBtn_IsCheck")(Find(L"按钮_用户协议")));
    EXPECT_FALSE(Get<xc::XBtn_IsCheck_t>("XBtn_IsCheck")(Find(L"标签_3")));  // not a button

    const int edit = Find(L"编辑框_安装位置");
    Get<xc::XEdit_SetText_t>("XEdit_SetText")(edit, L"C:\\游戏\\varnel");
    EXPECT_STREQ(Get<xc::XEdit_GetText_Temp_t>("XEdit_GetText_Temp")(edit), L"C:\\游戏\\varnel");
}

namespace {

// The window's client area as it is on screen, one value a pixel.
std::vector<COLORREF> Capture(HWND hwnd);

std::string Resources(const std::string& images) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><resources><type_image>" + images +
           "</type_image><type_font><font name=\"F\" size=\"24\" fontName=\"微软雅黑\" style=\"bold\"/></type_font>"
           "<type_color><item name=\"C\" value=\"-1\"/></type_color></resources>";
}

}  // namespace

// What a hostile package can load is loaded, in bounded time and memory:
// 2,000 names for one picture among 60,000 entries, a picture whose header
// claims 8192 x 8192 with one byte of data, and a header 150,000 high with
// a picture stretched over it.
TEST_F(Library, HostilePackagesGiveAWindowWithWhatCouldBeLoaded) {
    std::string images = "<image name=\"bad\" value=\"bad.png\" loadType=\"file\" style=\"stretch\"/>";
    for (int k = 0; k < 2000; ++k)
        images.append("<image name=\"p").append(std::to_string(k)).append("\" value=\"blue.png\" style=\"stretch\"/>");
    std::vector<xcgui_test::ZipItem> items = {
        {"resource.res", Resources(images)},
        {"main.xml", "<head/><windowUI rect=\"0,0,400,300\" content=\"hostile\" bkInfoM=\"{99:1.9.9;98:1(0);5:2(15)22(-1)23(255);}\">"
                     "<layoutEleUI layout.width=\"fill\" layout.height=\"150000\" bkInfoM=\"{99:1.9.9;98:16(0);3:2(15)4(@p1999);}\">"
                     "<shapeText name=\"t\" content=\"VARNEL\" font=\"@F\" textColor=\"@C\" layout.width=\"auto\" layout.height=\"auto\"/>"
                     "</layoutEleUI><layoutEleUI layout.width=\"fill\" layout.height=\"50\" "
                     "bkInfoM=\"{99:1.9.9;98:16(0);3:2(15)4(@bad);}\"/></windowUI>"},
        {"blue.png", xcgui_test::SolidPng(4, 4, 0xFF508AFF)},
        {"bad.png", xcgui_test::PngWithData(8192, 8192, "x")},
    };
    for (int k = 0; k < 60000; ++k) items.push_back({std::to_string(k), ""});
    const auto package = xcgui_test::MakeStoredZip(items);
    // Loaded but not complete: the bad picture is missing.
    EXPECT_FALSE(Get<xc::XC_LoadResourceZipMem_t>("XC_LoadResourceZipMem")(
        package.data(), static_cast<int>(package.size()), L"resource.res", L""));
    const int window = Get<xc::XC_LoadLayoutZipMem_t>("XC_LoadLayoutZipMem")(
        package.data(), static_cast<int>(package.size()), L"main.xml", L"", 0, nullptr);
    ASSERT_NE(window, 0);
    EXPECT_NE(Find(L"t"), 0);
    ASSERT_TRUE(Get<xc::XWnd_Show_t>("XWnd_Show")(window, TRUE));
    HWND hwnd = Get<xc::XWnd_GetHWND_t>("XWnd_GetHWND")(window);
    Get<xc::XWnd_Redraw_t>("XWnd_Redraw")(window, TRUE);
    const auto pixels = Capture(hwnd);
    RECT r;
    GetClientRect(hwnd, &r);
    ASSERT_EQ(pixels.size(), static_cast<std::size_t>(r.right * r.bottom));
    EXPECT_EQ(pixels[5 * r.right + 5], RGB(0x50, 0x8A, 0xFF));                     // the stretched picture
    EXPECT_EQ(pixels[(r.bottom - 5) * r.right + r.right - 5], RGB(0x50, 0x8A, 0xFF));
    const auto white = std::count(pixels.begin(), pixels.end(), RGB(255, 255, 255));
    EXPECT_GT(white, 100) << "the label's white text, in the font and colour of the resources";
}

TEST_F(Library, DamagedPackagesLoadNothing) {
    const auto package = xcgui_test::RealPackage();
    auto truncated = package;
    truncated.resize(package.size() / 3);
    const auto badXml = MakeZip({{"main.xml", "<head/><windowUI rect=\"0,0,1"}, {"resource.res", "<resources"}});
    const auto empty = MakeZip({{"other.txt", "x"}});
    using Bytes = const std::vector<std::uint8_t>*;
    for (Bytes bytes : {Bytes{&truncated}, Bytes{&badXml}, Bytes{&empty}}) {
        EXPECT_FALSE(Get<xc::XC_LoadResourceZipMem_t>("XC_LoadResourceZipMem")(
            bytes->data(), static_cast<int>(bytes->size()), L"resource.res", L""));
        EXPECT_EQ(Load(*bytes), 0);
    }
    EXPECT_EQ(Get<xc::XC_LoadLayoutZipMem_t>("XC_LoadLayoutZipMem")(nullptr, 10, L"main.xml", L"", 0, nullptr), 0);
    EXPECT_EQ(Get<xc::XC_LoadLayoutZipMem_t>("XC_LoadLayoutZipMem")(package.data(), -5, L"main.xml", L"", 0, nullptr), 0);
    EXPECT_EQ(Get<xc::XC_LoadLayoutZipMem_t>("XC_LoadLayoutZipMem")(package.data(), static_cast<int>(package.size()),
                                                                    nullptr, nullptr, 0, nullptr), 0);
}

TEST_F(Library, NoneAndStaleHandlesDoNothing) {
    const int window = Load(xcgui_test::RealPackage());
    ASSERT_NE(window, 0);
    const int label = Find(L"标签_3");
    DestroyWindow(Get<xc::XWnd_GetHWND_t>("XWnd_GetHWND")(window));  // now every handle is stale
    for (int h : {0, -1, 999999, window, label}) {
        Get<xc::XWnd_EnableDragBorder_t>("XWnd_EnableDragBorder")(h, FALSE);
        EXPECT_FALSE(Get<xc::XWnd_Show_t>("XWnd_Show")(h, TRUE));
        EXPECT_FALSE(Get<xc::XEle_RegEventC1_t>("XEle_RegEventC1")(h, 34, reinterpret_cast<void*>(&DestroyWindow)));
        EXPECT_EQ(Get<xc::XEdit_GetText_Temp_t>("XEdit_GetText_Temp")(h), nullptr);
        Get<xc::XEdit_SetText_t>("XEdit_SetText")(h, L"x");
        Get<xc::XShapeText_SetText_t>("XShapeText_SetText")(h, L"x");
        Get<xc::XShapeText_SetText_t>("XShapeText_SetText")(h, nullptr);
        Get<xc::XEle_Redraw_t>("XEle_Redraw")(h, TRUE);
        Get<xc::XWidget_Show_t>("XWidget_Show")(h, FALSE);
        Get<xc::XWnd_AdjustLayout_t>("XWnd_AdjustLayout")(h);
        Get<xc::XWnd_Redraw_t>("XWnd_Redraw")(h, TRUE);
        EXPECT_EQ(Get<xc::XWnd_GetHWND_t>("XWnd_GetHWND")(h), nullptr);
        EXPECT_FALSE(Get<xc::XBtn_IsCheck_t>("XBtn_IsCheck")(h));
        Get<xc::XProgBar_SetPos_t>("XProgBar_SetPos")(h, 50);
        EXPECT_EQ(Get<xc::XNotifyMsg_WindowPopupEx_t>("XNotifyMsg_WindowPopupEx")(h, 1, L"t", L"x", 0, 1, 1, 1, -1, -1), 0);
    }
    EXPECT_EQ(Find(L"标签_3"), 0);
    EXPECT_EQ(Get<xc::XC_GetObjectByName_t>("XC_GetObjectByName")(nullptr), 0);
    Get<xc::XRunXCGUI_t>("XRunXCGUI")();  // no window: returns at once
}

namespace {

HWND g_hwnd = nullptr;
xc::XExitXCGUI_t* g_exit = nullptr;
int g_clicks = 0;
bool g_aliveAfterEscape = false;

void Key(HWND hwnd, UINT message, WPARAM key, bool repeat = false) {
    const LPARAM up = message == WM_KEYUP ? (3 << 30) : 0;
    SendMessageW(hwnd, message, key, 1 | up | (repeat ? 1 << 30 : 0));
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// A click handler that runs long, pumping messages, as an installation does:
// an Escape meanwhile must not close the window.
int WINAPI EscapeWhileRunning(int, BOOL*) {
    ++g_clicks;
    Key(g_hwnd, WM_KEYDOWN, VK_ESCAPE);
    Key(g_hwnd, WM_KEYUP, VK_ESCAPE);
    Pump();
    g_aliveAfterEscape = IsWindow(g_hwnd) != FALSE;
    return 0;
}

int WINAPI ExitFromTheHandler(int, BOOL*) {
    ++g_clicks;
    g_exit();
    return 0;
}

}  // namespace

// Enter and Space act once per press, on release: the auto-repeat of a key
// held down does nothing. Escape closes the window, but not from inside a
// running click handler.
TEST_F(Library, KeysActOncePerPressAndEscapeWaitsForRunningHandlers) {
    const int window = Load(xcgui_test::RealPackage());
    ASSERT_TRUE(Get<xc::XWnd_Show_t>("XWnd_Show")(window, TRUE));
    g_hwnd = Get<xc::XWnd_GetHWND_t>("XWnd_GetHWND")(window);
    const int agree = Find(L"按钮_用户协议");
    auto isCheck = Get<xc::XBtn_IsCheck_t>("XBtn_IsCheck");
    ASSERT_TRUE(isCheck(agree));
    Key(g_hwnd, WM_KEYDOWN, VK_TAB);  // 快速安装
    Key(g_hwnd, WM_KEYDOWN, VK_TAB);  // the agreement box
    Key(g_hwnd, WM_KEYDOWN, VK_SPACE);
    for (int k = 0; k < 30; ++k) Key(g_hwnd, WM_KEYDOWN, VK_SPACE, true);
    EXPECT_TRUE(isCheck(agree)) << "nothing before the release";
    Key(g_hwnd, WM_KEYUP, VK_SPACE);
    EXPECT_FALSE(isCheck(agree));
    Key(g_hwnd, WM_KEYUP, VK_SPACE);  // a release without its press
    EXPECT_FALSE(isCheck(agree));
    Key(g_hwnd, WM_KEYDOWN, VK_RETURN);
    Key(g_hwnd, WM_KEYUP, VK_RETURN);
    EXPECT_TRUE(isCheck(agree));

    g_clicks = 0;
    Get<xc::XEle_RegEventC1_t>("XEle_RegEventC1")(agree, xc::kEventButtonClick, reinterpret_cast<void*>(&EscapeWhileRunning));
    Key(g_hwnd, WM_KEYDOWN, VK_SPACE);
    Key(g_hwnd, WM_KEYUP, VK_SPACE);
    EXPECT_EQ(g_clicks, 1);
    EXPECT_TRUE(g_aliveAfterEscape);
    Pump();
    ASSERT_TRUE(IsWindow(g_hwnd));
    Key(g_hwnd, WM_KEYDOWN, VK_ESCAPE);
    Pump();
    EXPECT_FALSE(IsWindow(g_hwnd));
}

// XExitXCGUI from inside a click handler closes the window and lets the
// loop return; the window is released only once its procedure is done.
TEST_F(Library, ExitFromAClickHandlerEndsTheLoop) {
    const int window = Load(xcgui_test::RealPackage());
    ASSERT_TRUE(Get<xc::XWnd_Show_t>("XWnd_Show")(window, TRUE));
    g_hwnd = Get<xc::XWnd_GetHWND_t>("XWnd_GetHWND")(window);
    g_exit = Get<xc::XExitXCGUI_t>("XExitXCGUI");
    g_clicks = 0;
    Get<xc::XEle_RegEventC1_t>("XEle_RegEventC1")(Find(L"按钮_快速安装"), xc::kEventButtonClick,
                                                  reinterpret_cast<void*>(&ExitFromTheHandler));
    Key(g_hwnd, WM_KEYDOWN, VK_TAB);
    PostMessageW(g_hwnd, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageW(g_hwnd, WM_KEYUP, VK_RETURN, 1 | (3 << 30));
    Get<xc::XRunXCGUI_t>("XRunXCGUI")();  // must return
    EXPECT_EQ(g_clicks, 1);
    EXPECT_FALSE(IsWindow(g_hwnd));
    EXPECT_EQ(Find(L"按钮_快速安装"), 0);
    // The library is usable again.
    ASSERT_TRUE(Get<xc::XInitXCGUI_t>("XInitXCGUI")(TRUE));
    EXPECT_NE(Load(xcgui_test::RealPackage()), 0);
}

TEST_F(Library, TextConversionsUseTheAnsiCodePage) {
    auto toWide = Get<xc::XC_AnsiToUnicode_t>("XC_AnsiToUnicode");
    auto toAnsi = Get<xc::XC_wtoa_t>("XC_wtoa");
    const char* gbk = "\xB0\xB2\xD7\xB0";  // 安装 in code page 936
    ASSERT_EQ(GetACP(), 936u) << "tests run with LC_ALL=zh_CN.UTF-8";
    EXPECT_EQ(toWide(gbk, -1, nullptr, 0), 3);
    wchar_t out[3] = {1, 1, 1};
    EXPECT_EQ(toWide(gbk, -1, out, 3), 3);
    EXPECT_STREQ(out, L"安装");
    EXPECT_EQ(toWide("", -1, nullptr, 0), 1);
    EXPECT_EQ(toWide(nullptr, -1, nullptr, 0), 0);
    EXPECT_STREQ(toAnsi(L"安装"), gbk);
    EXPECT_STREQ(toAnsi(L""), "");
    EXPECT_EQ(toAnsi(nullptr), nullptr);
}

TEST_F(Library, PopupsReturnAHandleAtOnce) {
    const int window = Load(xcgui_test::RealPackage());
    ASSERT_NE(window, 0);
    auto popup = Get<xc::XNotifyMsg_WindowPopupEx_t>("XNotifyMsg_WindowPopupEx");
    const int a = popup(window, 1, L"通知", L"一", 0, 1, 1, 1, -1, -1);
    const int b = popup(window, 1, L"通知", L"二", 0, 9, 0, 0, 0, 0);  // unknown skin, odd sizes
    EXPECT_NE(a, 0);
    EXPECT_NE(b, 0);
    EXPECT_NE(a, b);
}

namespace {

std::vector<COLORREF> Capture(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    HDC dc = GetDC(hwnd);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateCompatibleBitmap(dc, r.right, r.bottom);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, r.right, r.bottom, dc, 0, 0, SRCCOPY);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < r.bottom; ++y)
        for (int x = 0; x < r.right; ++x) pixels.push_back(GetPixel(mem, x, y));
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(hwnd, dc);
    return pixels;
}

}  // namespace

// The window is made when it is first shown, with its first frame drawn
// beside: that frame must carry everything set before, and match a frame
// drawn afresh.
TEST_F(Library, TheFirstFrameShowsWhatWasSetBeforeTheWindowWasMade) {
    const int window = Load(xcgui_test::RealPackage());
    ASSERT_NE(window, 0);
    EXPECT_TRUE(Get<xc::XWnd_Show_t>("XWnd_Show")(window, FALSE));  // hiding what is not yet made is done
    Get<xc::XShapeText_SetText_t>("XShapeText_SetText")(Find(L"标签_3"), L"2024(4.1.0.0) 一个更长的版本");
    Get<xc::XShapeText_SetText_t>("XShapeText_SetText")(Find(L"标签_安装路径"), L"E:\\游戏\\varnel");
    Get<xc::XProgBar_SetPos_t>("XProgBar_SetPos")(Find(L"进度条_1"), 40);
    ASSERT_TRUE(Get<xc::XWnd_Show_t>("XWnd_Show")(window, TRUE));
    HWND hwnd = Get<xc::XWnd_GetHWND_t>("XWnd_GetHWND")(window);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    const auto first = Capture(hwnd);

    Get<xc::XWnd_Redraw_t>("XWnd_Redraw")(window, TRUE);
    const auto again = Capture(hwnd);
    ASSERT_EQ(first.size(), again.size());
    EXPECT_TRUE(first == again);
    RECT r;
    GetClientRect(hwnd, &r);
    const COLORREF header = first[10 * r.right + 300];
    EXPECT_TRUE(GetRValue(header) < 0x70 && GetBValue(header) > 0xF0) << std::hex << header << ": not the header's blue";

    // A popup asked for before the first showing makes the window.
    const int other = Load(xcgui_test::RealPackage());
    ASSERT_NE(other, 0);
    EXPECT_NE(Get<xc::XNotifyMsg_WindowPopupEx_t>("XNotifyMsg_WindowPopupEx")(other, 1, L"通知", L"一", 0, 1, 1, 1, -1, -1), 0);
    EXPECT_NE(Get<xc::XWnd_GetHWND_t>("XWnd_GetHWND")(other), nullptr);
}

// The status line and the bar change many times a second during an
// installation and only their own places are repainted: what a shorter
// text or a lower bar leaves must look exactly as a whole new frame does.
TEST_F(Library, ChangedTextsAndBarRepaintAsAWholeFrameWould) {
    const int window = Load(xcgui_test::RealPackage());
    ASSERT_NE(window, 0);
    auto show = Get<xc::XWidget_Show_t>("XWidget_Show");
    show(Find(L"布局元素_1"), FALSE);
    show(Find(L"布局元素_3"), TRUE);
    ASSERT_TRUE(Get<xc::XWnd_Show_t>("XWnd_Show")(window, TRUE));
    HWND hwnd = Get<xc::XWnd_GetHWND_t>("XWnd_GetHWND")(window);
    auto setText = Get<xc::XShapeText_SetText_t>("XShapeText_SetText");
    auto setPos = Get<xc::XProgBar_SetPos_t>("XProgBar_SetPos");
    auto redraw = Get<xc::XWnd_Redraw_t>("XWnd_Redraw");
    const int status = Find(L"标签_安装状态");
    const int bar = Find(L"进度条_1");
    ASSERT_NE(status, 0);
    ASSERT_NE(bar, 0);

    setText(status, L"解压文件：D:\\varnel\\一个相当长的文件名，几乎占满整个状态行的宽度.dll");
    setPos(bar, 90);
    Pump();
    std::vector<COLORREF> before = Capture(hwnd);
    const struct {
        const wchar_t* text;
        int position;
    } steps[] = {{L"解压文件：D:\\varnel\\a.dll", 10}, {L"打开文件：Varnel.ZIP", 0},
                 {L"解压文件：D:\\varnel\\数据\\更长的名字也一样要完整地画出来.dat", 100}};
    for (const auto& step : steps) {
        setText(status, step.text);
        setPos(bar, step.position);
        Pump();
        const auto changed = Capture(hwnd);
        redraw(window, TRUE);
        const auto whole = Capture(hwnd);
        EXPECT_FALSE(changed == before) << WideToUtf8(step.text) << ": nothing was repainted";
        ASSERT_EQ(changed.size(), whole.size());
        std::size_t differ = 0;
        for (std::size_t i = 0; i < changed.size(); ++i) differ += changed[i] != whole[i];
        EXPECT_EQ(differ, 0u) << WideToUtf8(step.text) << ": pixels that differ from a whole frame";
        before = whole;
    }
}
