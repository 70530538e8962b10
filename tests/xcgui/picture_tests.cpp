// Our PNG reader and the scaling of pictures for drawing.
#include <gtest/gtest.h>

#include "picture.h"
#include "test_support.h"
#include "zip_memory.h"

using namespace xcgui;

TEST(Picture, TheHeaderPictureDecodesAndScales) {
    const auto package = xcgui_test::RealPackage();
    const auto file = ReadZipEntry(package.data(), package.size(), L"img\\背景图（大）.png", L"");
    ASSERT_TRUE(file);
    const auto png = DecodeSimplePng(*file);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->width, 813);
    EXPECT_EQ(png->height, 300);
    EXPECT_EQ(png->bgra[10 * 813 + 10], 0xFF508AFFu);  // the flat blue field
    EXPECT_EQ(png->bgra[299 * 813 + 400] >> 24, 0xFFu);

    const auto scaled = Resample(*png, {582, 280});
    ASSERT_EQ(scaled.size(), 582u * 280u);
    EXPECT_EQ(scaled[0], 0xFF508AFFu);
    EXPECT_EQ(scaled[581], 0xFF508AFFu);
    EXPECT_EQ(scaled[279 * 582 + 291] & 0xFFFFFFu, 0xFFFFFFu);  // the white wave at the bottom
}

TEST(Picture, DamagedOrUncommonFilesAreLeftToTheGeneralDecoder) {
    const auto package = xcgui_test::RealPackage();
    auto file = *ReadZipEntry(package.data(), package.size(), L"img\\多选选中_o.png", L"");
    ASSERT_TRUE(DecodeSimplePng(file));
    auto truncated = file;
    truncated.resize(file.size() / 2);
    auto notPng = file;
    notPng[1] = 'X';
    auto hugeHeader = file;
    hugeHeader[16] = 0x7F;  // width far beyond any picture of ours
    for (const auto& bad : {truncated, notPng, hugeHeader, std::vector<std::uint8_t>{}})
        EXPECT_FALSE(DecodeSimplePng(bad));
}
