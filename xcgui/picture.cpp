#include "picture.h"

#include <objidl.h>
#include <gdiplus.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>

namespace xcgui {

Picture::Picture(Pixels pixels)
    : pixels_(std::move(pixels)),
      opaque_(std::all_of(pixels_.bgra.begin(), pixels_.bgra.end(), [](std::uint32_t p) { return p >= 0xFF000000u; })) {}

Picture::~Picture() {
    if (scaled_) DeleteObject(scaled_);
}

std::vector<std::uint32_t> Resample(const Pixels& from, Size to) {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(std::max(0, to.w)) * std::max(0, to.h));
    if (from.width <= 0 || from.height <= 0 || to.w <= 0 || to.h <= 0) return out;
    // Source positions in 1/256 pixel steps, clamped to the picture.
    const auto positions = [](int target, int source) {
        std::vector<std::pair<int, int>> pos(target);  // first index, weight of the next (0..256)
        for (int i = 0; i < target; ++i) {
            const long long f = std::clamp<long long>((2LL * i + 1) * source * 128 / target - 128, 0, (source - 1) * 256LL);
            pos[i] = {static_cast<int>(f >> 8), static_cast<int>(f & 0xFF)};
        }
        return pos;
    };
    const auto xs = positions(to.w, from.width), ys = positions(to.h, from.height);
    const auto mix = [](std::uint32_t a, std::uint32_t b, int w) {
        // Two channels at a time: 0x00FF00FF lanes.
        const std::uint32_t rb = ((a & 0x00FF00FF) * (256 - w) + (b & 0x00FF00FF) * w) >> 8;
        const std::uint32_t ag = (((a >> 8) & 0x00FF00FF) * (256 - w) + ((b >> 8) & 0x00FF00FF) * w) >> 8;
        return (rb & 0x00FF00FF) | ((ag & 0x00FF00FF) << 8);
    };
    for (int y = 0; y < to.h; ++y) {
        const auto [y0, wy] = ys[y];
        const int y1 = std::min(y0 + 1, from.height - 1);
        const std::uint32_t* r0 = &from.bgra[static_cast<std::size_t>(y0) * from.width];
        const std::uint32_t* r1 = &from.bgra[static_cast<std::size_t>(y1) * from.width];
        std::uint32_t* dst = &out[static_cast<std::size_t>(y) * to.w];
        for (int x = 0; x < to.w; ++x) {
            const auto [x0, wx] = xs[x];
            const int x1 = std::min(x0 + 1, from.width - 1);
            dst[x] = mix(mix(r0[x0], r0[x1], wx), mix(r1[x0], r1[x1], wx), wy);
        }
    }
    return out;
}

HBITMAP Picture::Scaled(Size size) {
    if (size.w <= 0 || size.h <= 0) return nullptr;
    if (scaled_ && size == scaledSize_) return scaled_;
    if (scaled_) DeleteObject(scaled_);
    scaled_ = nullptr;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = size.w;
    bi.bmiHeader.biHeight = -size.h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bmp) return nullptr;
    const auto pixels = size == Dimensions() ? pixels_.bgra : Resample(pixels_, size);
    std::memcpy(bits, pixels.data(), pixels.size() * 4);
    scaled_ = bmp;
    scaledSize_ = size;
    return scaled_;
}

std::shared_ptr<Picture> DecodePicture(const std::vector<std::uint8_t>& file) {
    if (auto png = DecodeSimplePng(file)) return std::make_shared<Picture>(std::move(*png));

    // Other formats: through GDI+, copied out premultiplied.
    IStream* stream = SHCreateMemStream(file.data(), static_cast<UINT>(file.size()));
    if (!stream) return nullptr;
    std::shared_ptr<Picture> out;
    {
        Gdiplus::Bitmap decoded(stream);
        const int w = static_cast<int>(decoded.GetWidth()), h = static_cast<int>(decoded.GetHeight());
        Gdiplus::Rect all(0, 0, w, h);
        Gdiplus::BitmapData data;
        if (decoded.GetLastStatus() == Gdiplus::Ok && w > 0 && h > 0 && w <= 8192 && h <= 8192 &&
            decoded.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) == Gdiplus::Ok) {
            Pixels pixels{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h)};
            for (int y = 0; y < h; ++y)
                std::memcpy(pixels.bgra.data() + static_cast<std::size_t>(y) * w,
                            static_cast<const std::uint8_t*>(data.Scan0) + static_cast<std::ptrdiff_t>(y) * data.Stride,
                            w * 4u);
            decoded.UnlockBits(&data);
            out = std::make_shared<Picture>(std::move(pixels));
        }
    }
    stream->Release();
    return out;
}

}  // namespace xcgui
