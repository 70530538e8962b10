#include "png.h"

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

bool Inflate(const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    return rc == Z_STREAM_END && z.avail_out == 0;
}

}  // namespace

std::optional<Pixels> DecodeSimplePng(const std::vector<std::uint8_t>& file) {
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
    if (type == 2 || type == 0) {
        if (!paletteAlpha.empty()) return std::nullopt;  // colour-keyed: leave to the general decoder
    }

    const std::size_t stride = static_cast<std::size_t>(width) * channels;
    std::vector<std::uint8_t> raw((stride + 1) * height);
    if (!Inflate(idat, raw)) return std::nullopt;

    std::vector<std::uint8_t> prev(stride, 0);
    Pixels out{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = &raw[y * (stride + 1) + 1];
        const int filter = row[-1];
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= static_cast<std::size_t>(channels) ? row[i - channels] : 0;
            const int b = prev[i];
            const int c = i >= static_cast<std::size_t>(channels) ? prev[i - channels] : 0;
            int add = 0;
            switch (filter) {
            case 0: break;
            case 1: add = a; break;
            case 2: add = b; break;
            case 3: add = (a + b) / 2; break;
            case 4: add = Paeth(a, b, c); break;
            default: return std::nullopt;
            }
            row[i] = static_cast<std::uint8_t>(row[i] + add);
        }
        std::memcpy(prev.data(), row, stride);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * channels;
            std::uint32_t r, g, bl, al = 255;
            switch (type) {
            case 0: r = g = bl = p[0]; break;
            case 4: r = g = bl = p[0]; al = p[1]; break;
            case 2: r = p[0], g = p[1], bl = p[2]; break;
            case 6: r = p[0], g = p[1], bl = p[2], al = p[3]; break;
            default: {  // palette
                const std::size_t k = p[0];
                if (k * 3 + 2 >= palette.size()) return std::nullopt;
                r = palette[k * 3], g = palette[k * 3 + 1], bl = palette[k * 3 + 2];
                al = k < paletteAlpha.size() ? paletteAlpha[k] : 255;
            }
            }
            const auto pm = [al](std::uint32_t v) { return (v * al + 127) / 255; };
            out.bgra[static_cast<std::size_t>(y) * width + x] = (al << 24) | (pm(r) << 16) | (pm(g) << 8) | pm(bl);
        }
    }
    return out;
}

}  // namespace xcgui
