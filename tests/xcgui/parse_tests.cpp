// Reading the real UI package: resources, backgrounds and the layout tree.
#include <gtest/gtest.h>

#include "layout_parser.h"
#include "resources.h"
#include "test_support.h"

using namespace xcgui;

namespace {

Resources RealResources() {
    auto res = ParseResources(xcgui_test::PackageEntry(L"resource.res"));
    EXPECT_TRUE(res.has_value());
    return res.value_or(Resources{});
}

const Element* Named(const Element& e, const std::wstring& name) {
    if (e.name == name) return &e;
    for (auto& c : e.children)
        if (auto* hit = Named(*c, name)) return hit;
    return nullptr;
}

}  // namespace

TEST(Resources, ColoursDecodeFromTheLibraryEncoding) {
    const auto res = RealResources();
    const std::pair<const wchar_t*, Argb> cases[] = {
        {L"ID_COLOR_1", 0xFF00CC65}, {L"ID_COLOR_5", 0xFF20D5B8}, {L"浅灰色", 0xFF505050},
        {L"白色", 0xFFFFFFFF},       {L"黑色", 0xFF000000},
    };
    for (auto [name, argb] : cases) {
        ASSERT_TRUE(res.colours.count(name)) << name;
        EXPECT_EQ(res.colours.at(name), argb) << name;
    }
}

TEST(Resources, FontsIdsAndImages) {
    const auto res = RealResources();
    EXPECT_EQ(res.fonts.at(L"ID_FONT_1"), (FontSpec{L"微软雅黑", 24, true}));
    EXPECT_EQ(res.fonts.at(L"ID_FONT_4"), (FontSpec{L"微软雅黑", 10, false}));
    EXPECT_EQ(res.fonts.at(L"快速安装"), (FontSpec{L"微软雅黑", 14, true}));
    EXPECT_EQ(res.ids.at(L"ID_6"), 1);
    EXPECT_EQ(res.ids.at(L"ID_7"), 2);
    EXPECT_EQ(res.ids.at(L"ID_8"), 3);
    ASSERT_TRUE(res.images.count(L"3.png"));
    EXPECT_EQ(res.images.at(L"3.png").file, L"img\\背景图（大）.png");
    EXPECT_TRUE(res.images.at(L"3.png").stretch);
    EXPECT_EQ(res.backgrounds.size(), 4u);
}

TEST(Backgrounds, ThreeStateButtonFills) {
    const auto res = RealResources();
    struct Case {
        const wchar_t* name;
        Argb leave, stay, down;
        int radius;
    } cases[] = {
        {L"亮色按钮", 0xFF20D5B8, 0xFF1CB79F, 0xFF20D5B8, 25},
        {L"亮色按钮_5", 0xFF20D5B8, 0xFF1CB79F, 0xFF20D5B8, 5},
        {L"灰色按钮_5", 0xFFEBEBEB, 0xFFD7D7D7, 0xFFEBEBEB, 5},
    };
    for (const auto& c : cases) {
        const auto bk = ParseBackground(res.backgrounds.at(c.name));
        ASSERT_TRUE(bk) << c.name;
        const Argb want[] = {c.leave, c.stay, c.down};
        for (int s = 0; s < 3; ++s) {
            const auto& fills = bk->For(static_cast<VisualState>(s));
            ASSERT_EQ(fills.size(), 1u) << c.name << " state " << s;
            EXPECT_EQ(fills[0].colour, want[s]) << c.name << " state " << s;
            EXPECT_EQ(fills[0].radii, (std::array<int, 4>{c.radius, c.radius, c.radius, c.radius}));
        }
    }
}

TEST(Backgrounds, SingleFillsImagesAndJunk) {
    const auto white = ParseBackground(L"{99:1.9.9;98:1(0);5:2(15)20(1)21(3)26(1)22(-1)23(255);}");
    ASSERT_TRUE(white);
    EXPECT_EQ(white->For(VisualState::Down).at(0).colour, 0xFFFFFFFFu);  // one fill serves every state

    const auto picture = ParseBackground(L"{99:1.9.9;98:16(0);3:2(15)4(@3.png);}");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->For(VisualState::Leave).at(0).kind, Fill::Kind::Image);
    EXPECT_EQ(picture->For(VisualState::Leave).at(0).image, L"3.png");

    const auto red = ParseBackground(L"{99:1.9.9;98:16(0);5:2(15)20(1)21(3)26(1)22(-65536)23(255);}");
    EXPECT_EQ(red->For(VisualState::Leave).at(0).colour, 0xFF0000FFu);
    const auto translucent = ParseBackground(L"{98:16(0);5:22(-1)23(128);}");
    EXPECT_EQ(translucent->For(VisualState::Leave).at(0).colour, 0x80FFFFFFu);

    for (const wchar_t* junk : {L"", L"{", L"}", L"@nothing", L"plain text"}) EXPECT_FALSE(ParseBackground(junk)) << junk;
    for (const wchar_t* odd : {L"{;;;}", L"{5:22(}", L"{5:9(1,2)22(x)}", L"{98:;5:}", L"{3:4()}"})
        EXPECT_TRUE(ParseBackground(odd)) << odd;  // tolerated, never a crash
}

TEST(Layout, EveryNamedElementOfTheInstallerIsFound) {
    const auto res = RealResources();
    const auto layout = ParseLayout(xcgui_test::PackageEntry(L"main.xml"), res);
    ASSERT_TRUE(layout);
    const std::pair<const wchar_t*, Kind> names[] = {
        {L"布局元素_1", Kind::Layout},       {L"布局元素_2", Kind::Layout},
        {L"布局元素_3", Kind::Layout},       {L"布局元素_4", Kind::Layout},
        {L"按钮_快速安装", Kind::Button},    {L"按钮_自定义安装", Kind::TextLink},
        {L"按钮_用户协议", Kind::Button},    {L"标签_安装路径", Kind::ShapeText},
        {L"编辑框_安装位置", Kind::Edit},    {L"按钮_浏览", Kind::Button},
        {L"按钮_快捷方式", Kind::Button},    {L"按钮_返回", Kind::Button},
        {L"按钮_立即安装", Kind::Button},    {L"标签_安装状态", Kind::ShapeText},
        {L"进度条_1", Kind::ProgressBar},    {L"按钮_立即体验", Kind::Button},
        {L"标签_标题", Kind::ShapeText},     {L"标签_3", Kind::ShapeText},
        {L"标签_1", Kind::ShapeText},        {L"标签_2", Kind::ShapeText},
    };
    for (auto [name, kind] : names) {
        const Element* e = Named(*layout->root, name);
        ASSERT_NE(e, nullptr) << "missing element";
        EXPECT_EQ(e->kind, kind);
    }
}

TEST(Layout, WindowPagesAndStartState) {
    const auto res = RealResources();
    const auto layout = ParseLayout(xcgui_test::PackageEntry(L"main.xml"), res);
    ASSERT_TRUE(layout);
    const Element& root = *layout->root;
    EXPECT_EQ(layout->window.size, (Size{592, 442}));
    EXPECT_EQ(layout->window.caption, L"Varnel安装");
    EXPECT_EQ(layout->window.shadowSize, 5);
    EXPECT_TRUE(layout->window.centre);
    ASSERT_EQ(root.children.size(), 5u);

    EXPECT_TRUE(Named(root, L"布局元素_1")->shown);
    for (const wchar_t* hidden : {L"布局元素_2", L"布局元素_3", L"布局元素_4"}) EXPECT_FALSE(Named(root, hidden)->shown);
    EXPECT_EQ(Named(root, L"布局元素_2")->id, 2);

    const Element& quick = *Named(root, L"按钮_快速安装");
    EXPECT_EQ(quick.buttonType, ButtonType::Radio);
    EXPECT_TRUE(quick.checked);
    EXPECT_EQ(quick.bindId, 2);
    EXPECT_EQ(quick.font, (FontSpec{L"微软雅黑", 14, true}));
    EXPECT_EQ(quick.textColour, 0xFFFFFFFFu);
    EXPECT_EQ(quick.background.For(VisualState::Stay).at(0).colour, 0xFF1CB79Fu);

    EXPECT_TRUE(Named(root, L"按钮_用户协议")->checked);
    EXPECT_TRUE(Named(root, L"按钮_快捷方式")->checkStyle);
    const Element& link = *Named(root, L"按钮_自定义安装");
    EXPECT_EQ(link.textColourStay, std::optional<Argb>(0xFF20D5B8));
    EXPECT_TRUE(link.handCursor);
    EXPECT_FALSE(link.underlineStay);
    EXPECT_EQ(Named(root, L"进度条_1")->position, 10);
    EXPECT_EQ(Named(root, L"进度条_1")->loadColour, 0xFF00CC65u);
    EXPECT_EQ(Named(root, L"标签_2")->text, L"游 戏 , 由 你 掌 控 ");

    const Element& close = *root.children[0]->children[0]->children[0];
    EXPECT_EQ(close.buttonType, ButtonType::Close);
    EXPECT_TRUE(close.floating);
}

TEST(Layout, MalformedOrForeignDocuments) {
    const Resources none;
    EXPECT_FALSE(ParseLayout("", none));
    EXPECT_FALSE(ParseLayout("<windowUI rect=\"0,0,10,10\"", none));              // cut off
    EXPECT_FALSE(ParseLayout("<head/><notAWindow/>", none));                        // no window
    EXPECT_FALSE(ParseResources("<resources><type_id><item name=\"a\"</resources>"));  // bad XML

    // Unknown attributes and element kinds are skipped; junk values give defaults.
    const auto odd = ParseLayout(
        "<windowUI rect=\"x,y\" futureAttribute=\"1\">"
        "<sliderUI name=\"s\"><buttonUI name=\"inner\"/></sliderUI>"
        "<buttonUI name=\"b\" rect=\"1,2\" layout.width=\":\" font=\"@nope\" textColor=\"@nope\" bkInfoM=\"{\"/>"
        "</windowUI>",
        none);
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->window.size, (Size{592, 442}));
    ASSERT_EQ(odd->root->children.size(), 1u);
    EXPECT_EQ(odd->root->children[0]->name, L"b");
    EXPECT_EQ(odd->root->children[0]->width.mode, SizeSpec::Mode::Weight);
}
