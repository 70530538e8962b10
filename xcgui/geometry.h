// Small value types shared by the parser, the layout engine and the painter.
#pragma once

#include <cstdint>

namespace xcgui {

struct Size {
    int w = 0;
    int h = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    int Right() const { return x + w; }
    int Bottom() const { return y + h; }
    bool Contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
    bool Overlaps(const Rect& o) const { return x < o.Right() && o.x < Right() && y < o.Bottom() && o.y < Bottom(); }
    bool operator==(const Rect&) const = default;
};

// Four-number boxes (margin, padding): left, top, right, bottom.
struct Box {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const Box&) const = default;
};

// A colour as GDI+ takes it: 0xAARRGGBB.
using Argb = std::uint32_t;

// The library's own encoding keeps alpha, blue, green, red from the top byte
// down (0xAABBGGRR), stored as a signed decimal.
constexpr Argb ArgbFromLibraryColour(std::int32_t stored) {
    const auto v = static_cast<std::uint32_t>(stored);
    return (v & 0xFF00FF00u) | ((v & 0xFFu) << 16) | ((v >> 16) & 0xFFu);
}

constexpr Argb WithAlpha(Argb c, int alpha) {
    return (c & 0x00FFFFFFu) | (static_cast<std::uint32_t>(alpha & 0xFF) << 24);
}

}  // namespace xcgui
