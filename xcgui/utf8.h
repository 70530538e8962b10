// UTF-8 to and from the wide strings of the element tree, without the
// system's help: the package reader and the parsers then read the same text
// on Windows (16-bit wchar_t, surrogate pairs) and on the build machine
// (32-bit wchar_t), where the packer checks a skin with them.
// Ill-formed input becomes U+FFFD, one for each maximal ill-formed part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace xcgui {

template <typename Char>
std::basic_string<Char> DecodeUtf8(std::string_view in) {
    static_assert(sizeof(Char) == 2 || sizeof(Char) == 4);
    std::basic_string<Char> out;
    out.reserve(in.size());
    auto put = [&out](char32_t c) {
        if (sizeof(Char) == 2 && c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<Char>(0xD800 + (c >> 10)));
            out.push_back(static_cast<Char>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<Char>(c));
        }
    };
    std::size_t i = 0;
    while (i < in.size()) {
        const auto lead = static_cast<unsigned char>(in[i]);
        if (lead < 0x80) {
            put(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t c = 0;
        if (lead >= 0xC2 && lead <= 0xDF) length = 2, c = lead & 0x1F;
        else if (lead >= 0xE0 && lead <= 0xEF) length = 3, c = lead & 0x0F;
        else if (lead >= 0xF0 && lead <= 0xF4) length = 4, c = lead & 0x07;
        else {
            put(0xFFFD);
            ++i;
            continue;
        }
        // The second byte's range excludes overlong forms, surrogates and
        // code points past U+10FFFF.
        unsigned char low = 0x80, high = 0xBF;
        if (lead == 0xE0) low = 0xA0;
        else if (lead == 0xED) high = 0x9F;
        else if (lead == 0xF0) low = 0x90;
        else if (lead == 0xF4) high = 0x8F;
        std::size_t k = 1;
        for (; k < length && i + k < in.size(); ++k) {
            const auto next = static_cast<unsigned char>(in[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) break;
            c = (c << 6) | (next & 0x3F);
        }
        put(k == length ? c : 0xFFFD);
        i += k;
    }
    return out;
}

template <typename Char>
std::string EncodeUtf8(std::basic_string_view<Char> in) {
    static_assert(sizeof(Char) == 2 || sizeof(Char) == 4);
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        auto c = static_cast<char32_t>(static_cast<std::make_unsigned_t<Char>>(in[i]));
        if (sizeof(Char) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size()) {
            const auto next = static_cast<char32_t>(static_cast<std::make_unsigned_t<Char>>(in[i + 1]));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            }
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;  // a lone surrogate or no code point
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace xcgui
