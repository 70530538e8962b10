// Geometry of the installer layout under our layout rules, with a fixed
// text measure (8 px per character, 20 px high) so the figures are exact.
#include <gtest/gtest.h>

#include "layout.h"
#include "layout_parser.h"
#include "test_support.h"

using namespace xcgui;

namespace {

Size Measure(const Element& e) {
    if (e.kind == Kind::Button && e.checkStyle) return {22 + 8 * static_cast<int>(e.text.size()), 20};
    if (e.kind == Kind::ShapeText || e.kind == Kind::TextLink) return {8 * static_cast<int>(e.text.size()), 20};
    return {e.designRect.w, e.designRect.h};
}

Element* Named(Element& e, const std::wstring& name) {
    if (e.name == name) return &e;
    for (auto& c : e.children)
        if (auto* hit = Named(*c, name)) return hit;
    return nullptr;
}

class InstallerLayout : public ::testing::Test {
protected:
    void SetUp() override {
        const auto res = ParseResources(xcgui_test::PackageEntry(L"resource.res"));
        ASSERT_TRUE(res);
        auto parsed = ParseLayout(xcgui_test::PackageEntry(L"main.xml"), *res);
        ASSERT_TRUE(parsed);
        layout = std::move(*parsed);
        Lay();
    }
    void Lay() { LayoutWindow(*layout.root, {582, 432}, Measure); }
    void ShowOnly(int page) {
        for (int p = 1; p <= 4; ++p) Named(L"布局元素_" + std::to_wstring(p)).shown = p == page;
        Lay();
    }
    Element& Named(const std::wstring& name) {
        Element* e = ::Named(*layout.root, name);
        EXPECT_NE(e, nullptr);
        return *e;
    }
    Element& Header() { return *layout.root->children[0]; }
    ParsedLayout layout;
};

}  // namespace

TEST_F(InstallerLayout, HeaderRowsStackFromTheTop) {
    EXPECT_EQ(Header().rect, (Rect{0, 0, 582, 280}));
    for (int row = 0; row < 4; ++row) EXPECT_EQ(Header().children[row]->rect, (Rect{0, 50 * row, 582, 50}));
    const Element& title = Named(L"标签_标题");
    EXPECT_EQ(title.rect.x, 15);
    EXPECT_EQ(title.rect.y, 15);
    const Element& varnel = Named(L"标签_1");  // 6 characters, centred in row 2
    EXPECT_EQ(varnel.rect, (Rect{(582 - 48) / 2, 65, 48, 20}));
}

TEST_F(InstallerLayout, CloseButtonFloatsAtTheTitleRowsRight) {
    const Element& close = *Header().children[0]->children[0];
    EXPECT_EQ(close.rect, (Rect{582 - 10 - 32, 9, 32, 32}));
}

TEST_F(InstallerLayout, OnlyTheShownPageTakesPlaceBelowTheHeader) {
    EXPECT_EQ(Named(L"布局元素_1").rect, (Rect{0, 280, 582, 152}));
    const Element& quick = Named(L"按钮_快速安装");
    EXPECT_EQ(quick.rect, (Rect{191, 293, 200, 50}));
    const Element& path = Named(L"标签_安装路径");
    EXPECT_EQ(path.rect.y, quick.rect.Bottom() + 4);
    EXPECT_EQ(path.rect.x, (582 - path.rect.w) / 2);

    const Element& agree = Named(L"按钮_用户协议");
    EXPECT_EQ(agree.rect.x, 20);
    EXPECT_EQ(agree.rect.y, 380 + (42 - 25) / 2);
    const Element& link = Named(L"按钮_自定义安装");
    EXPECT_EQ(link.rect.Right(), 562);
    EXPECT_NEAR(link.rect.y * 2 + link.rect.h, agree.rect.y * 2 + agree.rect.h, 1);  // centres level

    for (int page = 2; page <= 4; ++page) {
        ShowOnly(page);
        EXPECT_EQ(Named(L"布局元素_" + std::to_wstring(page)).rect, (Rect{0, 280, 582, 152})) << page;
    }
}

TEST_F(InstallerLayout, CustomPageRowsAndButtons) {
    ShowOnly(2);
    EXPECT_EQ(Named(L"编辑框_安装位置").rect, (Rect{23, 323, 456, 26}));
    EXPECT_EQ(Named(L"按钮_浏览").rect, (Rect{489, 323, 60, 26}));
    EXPECT_EQ(Named(L"按钮_快捷方式").rect.y, 360);
    EXPECT_EQ(Named(L"按钮_立即安装").rect, (Rect{464, 380, 88, 32}));
    EXPECT_EQ(Named(L"按钮_返回").rect, (Rect{366, 380, 88, 32}));
}

TEST_F(InstallerLayout, ProgressAndFinishPages) {
    ShowOnly(3);
    EXPECT_EQ(Named(L"进度条_1").rect, (Rect{20, 361, 542, 20}));
    EXPECT_EQ(Named(L"标签_安装状态").rect.Bottom(), 351);
    ShowOnly(4);
    EXPECT_EQ(Named(L"按钮_立即体验").rect, (Rect{191, 326, 200, 50}));
}

TEST(LayoutRules, WeightsShareTheRestAndHiddenElementsLeaveNoGap) {
    Element box;
    box.rect = {0, 0, 300, 100};
    box.horizontal = true;
    const SizeSpec sizeSpecs[] = {{SizeSpec::Mode::Pixels, 60}, {SizeSpec::Mode::Weight, 1}, {SizeSpec::Mode::Weight, 2},
                              {SizeSpec::Mode::Pixels, 500}};
    for (auto sizeSpec : sizeSpecs) {
        auto c = std::make_unique<Element>();
        c->width = sizeSpec;
        c->designRect = {0, 0, 10, 10};
        c->parent = &box;
        box.children.push_back(std::move(c));
    }
    box.children[3]->shown = false;
    LayoutChildren(box, Measure);
    EXPECT_EQ(box.children[0]->rect, (Rect{0, 0, 60, 10}));
    EXPECT_EQ(box.children[1]->rect, (Rect{60, 0, 80, 10}));
    EXPECT_EQ(box.children[2]->rect, (Rect{140, 0, 160, 10}));
}
