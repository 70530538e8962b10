#include "png.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

namespace xcgui {

namespace {

std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

int Paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// One row back to its bytes; each filter has its own loop, which keeps the
// header picture's decode to a fraction of what a per-byte switch costs.
bool Unfilter(int filter, std::uint8_t* row, const std::uint8_t* prev, std::size_t stride, int channels) {
    const std::size_t bpp = static_cast<std::size_t>(channels);
    switch (filter) {
    case 0: return true;
    case 1:
        for (std::size_t i = bpp; i < stride; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
        return true;
    case 2:
        for (std::size_t i = 0; i < stride; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prev[i]);
        return true;
    case 3:
        for (std::size_t i = 0; i < bpp && i < stride; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prev[i] / 2);
        for (std::size_t i = bpp; i < stride; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + (row[i - bpp] + prev[i]) / 2);
        return true;
    case 4:
        for (std::size_t i = 0; i < bpp && i < stride; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prev[i]);
        for (std::size_t i = bpp; i < stride; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + Paeth(row[i - bpp], prev[i], prev[i - bpp]));
        return true;
    default: return false;
    }
}

std::uint32_t Premultiplied(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
    if (a == 255) return 0xFF000000u | (r << 16) | (g << 8) | b;
    const auto pm = [a](std::uint32_t v) { return (v * a + 127) / 255; };
    return (a << 24) | (pm(r) << 16) | (pm(g) << 8) | pm(b);
}

// Into a buffer that grows with what the data really gives: a header may
// claim far more pixels than its few bytes of data hold.
bool Inflate(const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out, std::size_t expected) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    out.resize(std::min<std::size_t>(expected, 1u << 20));
    int rc = Z_OK;
    for (;;) {
        z.next_out = out.data() + z.total_out;
        z.avail_out = static_cast<uInt>(out.size() - z.total_out);
        rc = inflate(&z, Z_FINISH);
        if (rc != Z_BUF_ERROR && rc != Z_OK) break;
        if (z.avail_out != 0 || out.size() == expected) break;  // the data ran out, or more than the rows hold
        out.resize(std::min(expected, out.size() * 2));
    }
    const bool whole = rc == Z_STREAM_END && z.total_out == expected;
    inflateEnd(&z);
    return whole;
}

}  // namespace

std::optional<Pixels> DecodeSimplePng(const std::vector<std::uint8_t>& file, std::uint64_t maxPixels) {
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (file.size() < 8 + 25 || std::memcmp(file.data(), kSignature, 8) != 0) return std::nullopt;

    int width = 0, height = 0, type = -1;
    std::vector<std::uint8_t> idat, palette, paletteAlpha;
    for (std::size_t pos = 8; pos + 12 <= file.size();) {
        const std::uint32_t length = Be32(&file[pos]);
        if (length > file.size() - pos - 12) return std::nullopt;
        const std::uint8_t* data = &file[pos + 8];
        const std::uint32_t tag = Be32(&file[pos + 4]);
        if (tag == 0x49484452 && length >= 13) {  // IHDR
            width = static_cast<int>(Be32(data));
            height = static_cast<int>(Be32(data + 4));
            type = data[9];
            if (data[8] != 8 || data[10] != 0 || data[11] != 0 || data[12] != 0) return std::nullopt;
        } else if (tag == 0x504C5445) {  // PLTE
            palette.assign(data, data + length);
        } else if (tag == 0x74524E53) {  // tRNS
            paletteAlpha.assign(data, data + length);
        } else if (tag == 0x49444154) {  // IDAT
            idat.insert(idat.end(), data, data + length);
        } else if (tag == 0x49454E44) {  // IEND
            break;
        }
        pos += 12 + length;
    }
    const int channels = type == 0 ? 1 : type == 2 ? 3 : type == 3 ? 1 : type == 4 ? 2 : type == 6 ? 4 : 0;
    if (!channels || width <= 0 || height <= 0 || width > 8192 || height > 8192 || idat.empty()) return std::nullopt;
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > maxPixels) return std::nullopt;
    if (type == 2 || type == 0) {
        if (!paletteAlpha.empty()) return std::nullopt;  // colour-keyed: leave to the general decoder
    }

    const std::size_t stride = static_cast<std::size_t>(width) * channels;
    std::vector<std::uint8_t> raw;
    if (!Inflate(idat, raw, (stride + 1) * height)) return std::nullopt;

    std::vector<std::uint8_t> zeros(stride, 0);
    const std::uint8_t* prev = zeros.data();
    Pixels out{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = &raw[y * (stride + 1) + 1];
        if (!Unfilter(row[-1], row, prev, stride, channels)) return std::nullopt;
        prev = row;
        std::uint32_t* dst = &out.bgra[static_cast<std::size_t>(y) * width];
        if (type == 6) {
            for (int x = 0; x < width; ++x, row += 4) dst[x] = Premultiplied(row[0], row[1], row[2], row[3]);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * channels;
            switch (type) {
            case 0: dst[x] = Premultiplied(p[0], p[0], p[0], 255); break;
            case 4: dst[x] = Premultiplied(p[0], p[0], p[0], p[1]); break;
            case 2: dst[x] = Premultiplied(p[0], p[1], p[2], 255); break;
            default: {  // palette
                const std::size_t k = p[0];
                if (k * 3 + 2 >= palette.size()) return std::nullopt;
                dst[x] = Premultiplied(palette[k * 3], palette[k * 3 + 1], palette[k * 3 + 2],
                                       k < paletteAlpha.size() ? paletteAlpha[k] : 255);
            }
            }
        }
    }
    return out;
}

}  // namespace xcgui
