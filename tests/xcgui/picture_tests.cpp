// Our PNG reader and the scaling of pictures for drawing.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <string>

#include "painter.h"
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

namespace {

std::uint8_t PaethOf(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

void Chunk(std::vector<std::uint8_t>& out, const char* tag, const std::vector<std::uint8_t>& data) {
    const auto be32 = [&](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
    };
    be32(static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), tag, tag + 4);
    out.insert(out.end(), data.begin(), data.end());
    be32(static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// A PNG of 8-bit samples whose every row is written with the given filter.
std::vector<std::uint8_t> EncodePng(int width, int height, int type, const std::vector<std::uint8_t>& samples,
                                    int filter, const std::vector<std::uint8_t>& palette = {},
                                    const std::vector<std::uint8_t>& alpha = {}) {
    const int channels = type == 6 ? 4 : type == 2 ? 3 : type == 4 ? 2 : 1;
    const std::size_t stride = static_cast<std::size_t>(width) * channels;
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(static_cast<std::uint8_t>(filter));
        const std::uint8_t* row = &samples[y * stride];
        const std::uint8_t* up = y > 0 ? &samples[(y - 1) * stride] : nullptr;
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= static_cast<std::size_t>(channels) ? row[i - channels] : 0;
            const int b = up ? up[i] : 0;
            const int c = up && i >= static_cast<std::size_t>(channels) ? up[i - channels] : 0;
            const int predicted = filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : filter == 4 ? PaethOf(a, b, c) : 0;
            raw.push_back(static_cast<std::uint8_t>(row[i] - predicted));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    compress(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()));
    packed.resize(packedSize);

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<std::uint8_t> header = {0, 0, 0, static_cast<std::uint8_t>(width), 0, 0, 0,
                                        static_cast<std::uint8_t>(height), 8, static_cast<std::uint8_t>(type), 0, 0, 0};
    Chunk(png, "IHDR", header);
    if (!palette.empty()) Chunk(png, "PLTE", palette);
    if (!alpha.empty()) Chunk(png, "tRNS", alpha);
    Chunk(png, "IDAT", packed);
    Chunk(png, "IEND", {});
    return png;
}

std::uint32_t Premultiplied(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
    const auto pm = [a](std::uint32_t v) { return (v * a + 127) / 255; };
    return (a << 24) | (pm(r) << 16) | (pm(g) << 8) | pm(b);
}

}  // namespace

// Every row filter and every colour type our reader takes, against an
// encoder written here: the pixels come back premultiplied, bit for bit.
TEST(Picture, EveryFilterAndColourTypeDecodesExactly) {
    const int w = 7, h = 5;
    std::uint32_t seed = 12345;
    const auto next = [&] { return static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 16); };
    std::vector<std::uint8_t> rgba(w * h * 4);
    for (auto& v : rgba) v = next();
    const std::vector<std::uint8_t> palette = {10, 20, 30, 200, 150, 100, 0, 255, 0};
    const std::vector<std::uint8_t> paletteAlpha = {255, 128};

    for (int filter = 0; filter <= 4; ++filter) {
        SCOPED_TRACE("filter " + std::to_string(filter));
        // RGBA, RGB, grey, grey with alpha, palette: samples taken from the same noise.
        std::vector<std::uint8_t> rgb, grey, greyAlpha, indices;
        for (int i = 0; i < w * h; ++i) {
            rgb.insert(rgb.end(), {rgba[i * 4], rgba[i * 4 + 1], rgba[i * 4 + 2]});
            grey.push_back(rgba[i * 4]);
            greyAlpha.insert(greyAlpha.end(), {rgba[i * 4], rgba[i * 4 + 3]});
            indices.push_back(static_cast<std::uint8_t>(rgba[i * 4] % 3));
        }
        const auto check = [&](int type, const std::vector<std::uint8_t>& samples, auto expected,
                               const std::vector<std::uint8_t>& plte = {}, const std::vector<std::uint8_t>& trns = {}) {
            const auto png = DecodeSimplePng(EncodePng(w, h, type, samples, filter, plte, trns));
            ASSERT_TRUE(png) << "type " << type;
            ASSERT_EQ(png->bgra.size(), static_cast<std::size_t>(w * h));
            for (int i = 0; i < w * h; ++i) ASSERT_EQ(png->bgra[i], expected(i)) << "type " << type << " pixel " << i;
        };
        const auto* p = rgba.data();
        check(6, rgba, [&](int i) { return Premultiplied(p[i * 4], p[i * 4 + 1], p[i * 4 + 2], p[i * 4 + 3]); });
        check(2, rgb, [&](int i) { return Premultiplied(p[i * 4], p[i * 4 + 1], p[i * 4 + 2], 255); });
        check(0, grey, [&](int i) { return Premultiplied(p[i * 4], p[i * 4], p[i * 4], 255); });
        check(4, greyAlpha, [&](int i) { return Premultiplied(p[i * 4], p[i * 4], p[i * 4], p[i * 4 + 3]); });
        check(3, indices, [&](int i) {
            const int k = indices[i];
            return Premultiplied(palette[k * 3], palette[k * 3 + 1], palette[k * 3 + 2], k < 2 ? paletteAlpha[k] : 255);
        }, palette, paletteAlpha);
    }
    // A filter number beyond 4 is damage.
    EXPECT_FALSE(DecodeSimplePng(EncodePng(w, h, 6, rgba, 5)));
}

// The pictures scaled ahead of the first paint must be asked for at the very
// size the paint draws them at, and only for what is shown.
TEST(Picture, PicturesToDrawAreSizedAsTheBackgroundsDrawThem) {
    Resources res;
    res.images[L"p"].picture = std::make_shared<Picture>(Pixels{1, 1, {0xFF000000u}});
    Fill fill;
    fill.kind = Fill::Kind::Image;
    fill.image = L"p";
    Element root;
    root.rect = {3, 5, 10, 7};
    root.background.states[0] = {fill};
    auto hidden = std::make_unique<Element>();
    hidden->shown = false;
    hidden->rect = {0, 0, 4, 4};
    hidden->background.states[0] = {fill};
    hidden->parent = &root;
    root.children.push_back(std::move(hidden));

    EXPECT_EQ(DeviceRect({3, 5, 10, 7}, 1.5), (Rect{5, 8, 15, 10}));  // edges rounded, not the size
    const auto pictures = PicturesToDraw(root, res, 1.5, {100, 100});
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].picture, res.images[L"p"].picture);
    EXPECT_EQ(pictures[0].size, (Size{15, 10}));
    EXPECT_EQ(pictures[0].part, (Rect{0, 0, 15, 10}));
    // Only what falls on the surface is scaled.
    EXPECT_EQ(PicturesToDraw(root, res, 1.5, {12, 9})[0].part, (Rect{0, 0, 7, 1}));
    EXPECT_EQ(ShownPart({-4, -2, 10, 150000}, {582, 432}), (Rect{4, 2, 6, 432}));
    EXPECT_EQ(ShownPart({600, 0, 10, 10}, {582, 432}), (Rect{}));
}

// A part of a stretched picture is exactly that part of the whole; a header
// far taller than the window costs only the window's pixels.
TEST(Picture, APartIsScaledAsTheWholeWould) {
    Pixels from{3, 2, {}};
    for (std::uint32_t k = 0; k < 6; ++k) from.bgra.push_back(0xFF000000u | (k * 40u) << 16 | (200u - k * 30u));
    const auto whole = Resample(from, {10, 9});
    const Rect part{2, 3, 5, 4};
    const auto piece = Resample(from, {10, 9}, part);
    ASSERT_EQ(piece.size(), 20u);
    for (int y = 0; y < part.h; ++y)
        for (int x = 0; x < part.w; ++x)
            ASSERT_EQ(piece[y * part.w + x], whole[(part.y + y) * 10 + part.x + x]) << x << "," << y;

    Picture picture(std::move(from));
    EXPECT_NE(picture.Scaled({582, 150000}, {0, 0, 582, 432}), nullptr);
    EXPECT_EQ(picture.Scaled({582, 150000}, {0, 0, 582, 150000}), nullptr);  // more than one copy may hold
    EXPECT_TRUE(Resample(Pixels{1, 1, {0u}}, {40000, 40000}, {0, 0, 40000, 40000}).empty());
}

// A header says how large a picture is before anything is decoded or
// allocated; one beyond the bound, or whose data does not fill what its
// header claims, gives no picture.
TEST(Picture, SizesAreReadFromTheHeaderAndBounded) {
    const auto bytes = [](const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
    EXPECT_EQ(PictureDimensions(bytes(xcgui_test::SolidPng(3, 2, 0xFF508AFF))), (Size{3, 2}));
    EXPECT_EQ(PictureDimensions(bytes(std::string("GIF89a\x20\x03\x58\x02", 10))), (Size{800, 600}));
    std::string bmp = "BM" + std::string(12, '\0') + std::string("\x28\0\0\0\x10\x27\0\0\x10\x27\0\0", 12);
    EXPECT_EQ(PictureDimensions(bytes(bmp)), (Size{10000, 10000}));
    const std::string jpeg("\xFF\xD8\xFF\xE0\x00\x04\x00\x00\xFF\xC0\x00\x11\x08\x01\x2C\x01\x90", 17);
    EXPECT_EQ(PictureDimensions(bytes(jpeg)), (Size{400, 300}));
    EXPECT_FALSE(PictureDimensions(bytes("not a picture at all")));

    EXPECT_TRUE(DecodePicture(bytes(xcgui_test::SolidPng(3, 2, 0xFF508AFF))));
    EXPECT_FALSE(DecodePicture(bytes(xcgui_test::SolidPng(3, 2, 0xFF508AFF)), 5));  // 6 pixels: beyond the bound
    EXPECT_FALSE(DecodePicture(bytes(bmp)));                                       // 10^8 pixels: never given to GDI+
    EXPECT_FALSE(DecodePicture(bytes(xcgui_test::PngWithData(8192, 8192, "x"))));
    // Within the bound but with one byte of data: refused once the data
    // runs out, without the buffer its header asks for.
    EXPECT_FALSE(DecodeSimplePng(bytes(xcgui_test::PngWithData(2048, 2048, std::string("\x78\x9C\x63", 3)))));
}

// A picture with no see-through pixel is copied, any other one blended: what
// was under a clear pixel must stay, and a covering one must replace it.
TEST(Picture, OpaquePicturesAreCopiedOthersBlended) {
    ASSERT_TRUE(EnsureGdiplus());
    const std::uint32_t blue = 0xFF508AFFu, halfWhite = 0x80808080u;
    Resources res;
    res.images[L"opaque"].picture = std::make_shared<Picture>(Pixels{2, 1, {blue, blue}});
    res.images[L"clear"].picture = std::make_shared<Picture>(Pixels{2, 1, {blue, 0u}});
    res.images[L"half"].picture = std::make_shared<Picture>(Pixels{2, 1, {halfWhite, blue}});
    EXPECT_TRUE(res.images[L"opaque"].picture->Opaque());
    EXPECT_FALSE(res.images[L"clear"].picture->Opaque());
    EXPECT_FALSE(res.images[L"half"].picture->Opaque());

    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 2, 3);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bmp);
    const RECT all{0, 0, 2, 3};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &all, red);
    {
        Gdiplus::Graphics g(dc);
        int row = 0;
        for (const wchar_t* name : {L"opaque", L"clear", L"half"}) {
            Fill fill;
            fill.kind = Fill::Kind::Image;
            fill.image = name;
            Background bk;
            bk.states[0] = {fill};
            PaintBackground(g, bk, VisualState::Leave, {0, row++, 2, 1}, res);
        }
    }
    const COLORREF blueRef = RGB(0x50, 0x8A, 0xFF);
    EXPECT_EQ(GetPixel(dc, 0, 0), blueRef);
    EXPECT_EQ(GetPixel(dc, 1, 0), blueRef);
    EXPECT_EQ(GetPixel(dc, 0, 1), blueRef);
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 0, 0));  // the clear pixel leaves the red
    const COLORREF mixed = GetPixel(dc, 0, 2);        // half white over red
    EXPECT_NEAR(GetRValue(mixed), 255, 2);
    EXPECT_NEAR(GetGValue(mixed), 128, 3);
    EXPECT_NEAR(GetBValue(mixed), 128, 3);
    SelectObject(dc, old);
    DeleteObject(red);
    DeleteObject(bmp);
    DeleteDC(dc);
}
