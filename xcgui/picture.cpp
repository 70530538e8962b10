#include "picture.h"

#include <objidl.h>
#include <gdiplus.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "side_work.h"

namespace xcgui {

Picture::Picture(Pixels pixels)
    : pixels_(std::move(pixels)),
      opaque_(std::all_of(pixels_.bgra.begin(), pixels_.bgra.end(), [](std::uint32_t p) { return p >= 0xFF000000u; })) {}

Picture::~Picture() = default;

std::vector<std::uint32_t> Resample(const Pixels& from, Size to, const Rect& part) {
    if (part.w <= 0 || part.h <= 0 || static_cast<std::uint64_t>(part.w) * static_cast<std::uint64_t>(part.h) > kMaxScaledPixels)
        return {};
    std::vector<std::uint32_t> out(static_cast<std::size_t>(part.w) * static_cast<std::size_t>(part.h));
    if (from.width <= 0 || from.height <= 0 || to.w <= 0 || to.h <= 0) return out;
    // Source positions in 1/256 pixel steps, clamped to the picture.
    const auto positions = [](int first, int count, int target, int source) {
        std::vector<std::pair<int, int>> pos(count);  // first index, weight of the next (0..256)
        for (int k = 0; k < count; ++k) {
            const long long i = first + k;
            const long long f = std::clamp<long long>((2LL * i + 1) * source * 128 / target - 128, 0, (source - 1) * 256LL);
            pos[k] = {static_cast<int>(f >> 8), static_cast<int>(f & 0xFF)};
        }
        return pos;
    };
    const auto xs = positions(part.x, part.w, to.w, from.width), ys = positions(part.y, part.h, to.h, from.height);
    const auto mix = [](std::uint32_t a, std::uint32_t b, int w) {
        // Two channels at a time: 0x00FF00FF lanes.
        const std::uint32_t rb = ((a & 0x00FF00FF) * (256 - w) + (b & 0x00FF00FF) * w) >> 8;
        const std::uint32_t ag = (((a >> 8) & 0x00FF00FF) * (256 - w) + ((b >> 8) & 0x00FF00FF) * w) >> 8;
        return (rb & 0x00FF00FF) | ((ag & 0x00FF00FF) << 8);
    };
    for (int y = 0; y < part.h; ++y) {
        const auto [y0, wy] = ys[y];
        const int y1 = std::min(y0 + 1, from.height - 1);
        const std::uint32_t* r0 = &from.bgra[static_cast<std::size_t>(y0) * from.width];
        const std::uint32_t* r1 = &from.bgra[static_cast<std::size_t>(y1) * from.width];
        std::uint32_t* dst = &out[static_cast<std::size_t>(y) * part.w];
        for (int x = 0; x < part.w; ++x) {
            const auto [x0, wx] = xs[x];
            const int x1 = std::min(x0 + 1, from.width - 1);
            dst[x] = mix(mix(r0[x0], r0[x1], wx), mix(r1[x0], r1[x1], wx), wy);
        }
    }
    return out;
}

HBITMAP Picture::Scaled(Size size, const Rect& part) {
    if (size.w <= 0 || size.h <= 0 || part.w <= 0 || part.h <= 0) return nullptr;
    if (scaled_ && size == scaledSize_ && part == scaledPart_) return scaled_.get();
    scaled_.reset();
    const bool whole = size == Dimensions() && part == Rect{0, 0, size.w, size.h};
    const auto pixels = whole ? pixels_.bgra : Resample(pixels_, size, part);
    if (pixels.empty()) return nullptr;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = part.w;
    bi.bmiHeader.biHeight = -part.h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    scaled_.reset(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!scaled_ || !bits) {
        scaled_.reset();
        return nullptr;
    }
    std::memcpy(bits, pixels.data(), pixels.size() * sizeof(std::uint32_t));
    scaledSize_ = size;
    scaledPart_ = part;
    return scaled_.get();
}

namespace {

std::uint32_t Le16(const std::uint8_t* p) { return p[0] | (std::uint32_t(p[1]) << 8); }
std::uint32_t Be16(const std::uint8_t* p) { return (std::uint32_t(p[0]) << 8) | p[1]; }
std::uint32_t Be32(const std::uint8_t* p) { return (Be16(p) << 16) | Be16(p + 2); }

}  // namespace

std::optional<Size> PictureDimensions(const std::vector<std::uint8_t>& f) {
    const std::size_t n = f.size();
    const auto starts = [&](const char* magic, std::size_t len) { return n >= len && std::memcmp(f.data(), magic, len) == 0; };
    std::uint64_t w = 0, h = 0;
    if (starts("\x89PNG\r\n\x1a\n", 8) && n >= 24) {
        w = Be32(&f[16]);
        h = Be32(&f[20]);
    } else if ((starts("GIF87a", 6) || starts("GIF89a", 6)) && n >= 10) {
        w = Le16(&f[6]);
        h = Le16(&f[8]);
    } else if (starts("BM", 2) && n >= 26) {
        const std::uint32_t header = Le16(&f[14]) | (Le16(&f[16]) << 16);
        if (header == 12) {
            w = Le16(&f[18]);
            h = Le16(&f[20]);
        } else if (n >= 26) {
            const auto le32 = [&](std::size_t at) { return static_cast<std::int32_t>(Le16(&f[at]) | (Le16(&f[at + 2]) << 16)); };
            w = static_cast<std::uint64_t>(std::abs(static_cast<long long>(le32(18))));
            h = static_cast<std::uint64_t>(std::abs(static_cast<long long>(le32(22))));
        }
    } else if (starts("\xFF\xD8", 2)) {
        // The first start-of-frame marker gives the size.
        for (std::size_t pos = 2; pos + 4 <= n;) {
            if (f[pos] != 0xFF) return std::nullopt;
            const std::uint8_t marker = f[pos + 1];
            if (marker == 0xFF) {
                ++pos;
                continue;
            }
            const std::uint32_t length = Be16(&f[pos + 2]);
            const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
            if (frame && pos + 9 <= n) {
                h = Be16(&f[pos + 5]);
                w = Be16(&f[pos + 7]);
                break;
            }
            if (length < 2) return std::nullopt;
            pos += 2 + length;
        }
    }
    if (w == 0 || h == 0 || w > 0xFFFF || h > 0xFFFF) return std::nullopt;
    return Size{static_cast<int>(w), static_cast<int>(h)};
}

std::shared_ptr<Picture> DecodePicture(const std::vector<std::uint8_t>& file, std::uint64_t maxPixels) {
    const auto dimensions = PictureDimensions(file);
    if (!dimensions || static_cast<std::uint64_t>(dimensions->w) * static_cast<std::uint64_t>(dimensions->h) > maxPixels)
        return nullptr;
    if (auto png = DecodeSimplePng(file, maxPixels)) return std::make_shared<Picture>(std::move(*png));

    // Other formats: through GDI+, copied out premultiplied. The side thread
    // may be in GDI+ making fonts, and GDI+ under Wine is not safe to enter
    // from two threads.
    FinishSideWork();
    IStream* stream = SHCreateMemStream(file.data(), static_cast<UINT>(file.size()));
    if (!stream) return nullptr;
    struct Releaser {
        IStream* s;
        ~Releaser() { s->Release(); }
    } release{stream};
    Gdiplus::Bitmap decoded(stream);
    const int w = static_cast<int>(decoded.GetWidth()), h = static_cast<int>(decoded.GetHeight());
    // The decoder's size must be the header's, which was checked.
    if (decoded.GetLastStatus() != Gdiplus::Ok || w != dimensions->w || h != dimensions->h) return nullptr;
    Gdiplus::Rect all(0, 0, w, h);
    Gdiplus::BitmapData data;
    if (decoded.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) != Gdiplus::Ok) return nullptr;
    struct Unlocker {
        Gdiplus::Bitmap& b;
        Gdiplus::BitmapData& d;
        ~Unlocker() { b.UnlockBits(&d); }
    } unlock{decoded, data};
    Pixels pixels{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * static_cast<std::size_t>(h))};
    for (int y = 0; y < h; ++y)
        std::memcpy(pixels.bgra.data() + static_cast<std::size_t>(y) * w,
                    static_cast<const std::uint8_t*>(data.Scan0) + static_cast<std::ptrdiff_t>(y) * data.Stride,
                    w * 4u);
    return std::make_shared<Picture>(std::move(pixels));
}

}  // namespace xcgui
