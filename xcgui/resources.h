// The resource file (resource.res): images, ids, fonts, colours and
// background descriptions, and the parsers for their value formats.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geometry.h"

namespace xcgui {

class Picture;

struct FontSpec {
    std::wstring face = L"微软雅黑";
    int size = 10;  // points
    bool bold = false;
    bool operator==(const FontSpec&) const = default;
};

// One fill of a background: a colour (rounded by the radii) or a picture
// stretched over the element.
struct Fill {
    enum class Kind { Colour, Image } kind = Kind::Colour;
    Argb colour = 0;
    std::array<int, 4> radii{};  // top-left, top-right, bottom-right, bottom-left
    std::wstring image;          // resource name of the picture
    bool operator==(const Fill&) const = default;
};

enum class VisualState { Leave = 0, Stay = 1, Down = 2 };

// A background: fills per state; a state without fills uses Leave's.
struct Background {
    std::array<std::vector<Fill>, 3> states;
    bool Empty() const { return states[0].empty() && states[1].empty() && states[2].empty(); }
    const std::vector<Fill>& For(VisualState s) const {
        const auto& fills = states[static_cast<int>(s)];
        return fills.empty() ? states[0] : fills;
    }
};

// Parses a bkInfoM string ("{99:1.9.9;98:16(0)32(1)64(2);5:...;}").
// Unknown parts are skipped; nullopt only when it is not a background at all.
std::optional<Background> ParseBackground(std::wstring_view text);

struct ImageResource {
    std::wstring file;  // path inside the package
    bool stretch = false;
    std::shared_ptr<Picture> picture;  // decoded when loaded from a package
};

struct Resources {
    std::map<std::wstring, ImageResource> images;
    std::map<std::wstring, int> ids;
    std::map<std::wstring, FontSpec> fonts;
    std::map<std::wstring, Argb> colours;
    std::map<std::wstring, std::wstring> backgrounds;  // name -> bkInfoM text
};

// Parses resource.res (UTF-8 XML). nullopt when the XML is malformed or has
// no resources root. Pictures are named, not decoded.
std::optional<Resources> ParseResources(std::string_view xml);

// Helpers for attribute values; all tolerate junk and give a default.
int ParseInt(std::wstring_view text, int fallback = 0);
std::vector<int> ParseIntList(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

}  // namespace xcgui
