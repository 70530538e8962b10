#include "resources.h"

#include <algorithm>

#include <pugixml.hpp>

#include "utf8.h"

namespace xcgui {

std::wstring Utf8ToWide(std::string_view text) { return DecodeUtf8<wchar_t>(text); }

std::string WideToUtf8(std::wstring_view text) { return EncodeUtf8(text); }

int ParseInt(std::wstring_view text, int fallback) {
    size_t i = 0;
    while (i < text.size() && text[i] == L' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
    if (i >= text.size() || text[i] < L'0' || text[i] > L'9') return fallback;
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > 0xFFFFFFFFll) return fallback;
    }
    // Colours are stored as signed 32-bit values; wrap like the library does.
    return static_cast<int>(static_cast<std::uint32_t>(negative ? -value : value));
}

std::vector<int> ParseIntList(std::wstring_view text) {
    std::vector<int> values;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(L',', start);
        if (comma == std::wstring_view::npos) comma = text.size();
        values.push_back(ParseInt(text.substr(start, comma - start)));
        start = comma + 1;
    }
    return values;
}

namespace {

// "key(args)key(args)..." -> pairs; args stay text.
std::vector<std::pair<int, std::wstring_view>> Tokens(std::wstring_view text) {
    std::vector<std::pair<int, std::wstring_view>> out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t open = text.find(L'(', i);
        if (open == std::wstring_view::npos) break;
        const size_t close = text.find(L')', open);
        if (close == std::wstring_view::npos) break;
        out.emplace_back(ParseInt(text.substr(i, open - i), -1), text.substr(open + 1, close - open - 1));
        i = close + 1;
    }
    return out;
}

std::optional<Fill> ParseFill(int kind, std::wstring_view body) {
    Fill fill;
    int alpha = -1;
    if (kind == 5) {
        fill.kind = Fill::Kind::Colour;
        for (auto [key, args] : Tokens(body)) {
            if (key == 22) fill.colour = ArgbFromLibraryColour(ParseInt(args));
            else if (key == 23) alpha = ParseInt(args, 255);
            else if (key == 9) {
                const auto r = ParseIntList(args);
                for (size_t k = 0; k < 4; ++k) fill.radii[k] = r.empty() ? 0 : r[std::min(k, r.size() - 1)];
            }
        }
        if (alpha >= 0) fill.colour = WithAlpha(fill.colour, alpha);
        return fill;
    }
    if (kind == 3) {
        fill.kind = Fill::Kind::Image;
        for (auto [key, args] : Tokens(body))
            if (key == 4) fill.image = std::wstring(args.starts_with(L'@') ? args.substr(1) : args);
        if (fill.image.empty()) return std::nullopt;
        return fill;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Background> ParseBackground(std::wstring_view text) {
    while (!text.empty() && text.front() == L' ') text.remove_prefix(1);
    if (text.size() < 2 || text.front() != L'{' || text.back() != L'}') return std::nullopt;
    text = text.substr(1, text.size() - 2);

    Background bk;
    std::vector<int> order;  // the states named after "98:", in order
    std::vector<Fill> fills;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L';', start);
        if (end == std::wstring_view::npos) end = text.size();
        const auto item = text.substr(start, end - start);
        start = end + 1;
        const size_t colon = item.find(L':');
        if (colon == std::wstring_view::npos) continue;
        const int kind = ParseInt(item.substr(0, colon), -1);
        const auto body = item.substr(colon + 1);
        if (kind == 98) {
            for (auto [flag, index] : Tokens(body)) {
                (void)index;
                order.push_back(flag == 32 ? 1 : flag == 64 ? 2 : 0);
            }
        } else if (auto fill = ParseFill(kind, body)) {
            fills.push_back(*fill);
        }
    }
    if (order.empty()) order.push_back(0);
    // One fill per named state; extra fills belong to the last state.
    for (size_t k = 0; k < fills.size(); ++k)
        bk.states[order[std::min(k, order.size() - 1)]].push_back(fills[k]);
    return bk;
}

std::optional<Resources> ParseResources(std::string_view xml) {
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8)) return std::nullopt;
    const auto root = doc.child("resources");
    if (!root) return std::nullopt;
    auto attr = [](const pugi::xml_node& n, const char* name) { return Utf8ToWide(n.attribute(name).value()); };

    Resources res;
    for (auto n : root.child("type_image").children("image")) {
        ImageResource image;
        image.file = attr(n, "value");
        image.stretch = attr(n, "style") == L"stretch";
        res.images[attr(n, "name")] = std::move(image);
    }
    for (auto n : root.child("type_id").children("item")) res.ids[attr(n, "name")] = ParseInt(attr(n, "value"));
    for (auto n : root.child("type_font").children("font")) {
        FontSpec font;
        if (auto face = attr(n, "fontName"); !face.empty()) font.face = face;
        font.size = ParseInt(attr(n, "size"), 10);
        font.bold = attr(n, "style").find(L"bold") != std::wstring::npos;
        res.fonts[attr(n, "name")] = font;
    }
    for (auto n : root.child("type_color").children("item"))
        res.colours[attr(n, "name")] = ArgbFromLibraryColour(ParseInt(attr(n, "value")));
    for (auto n : root.child("type_bkInfo").children("item")) res.backgrounds[attr(n, "name")] = attr(n, "bkInfoM");
    return res;
}

}  // namespace xcgui
