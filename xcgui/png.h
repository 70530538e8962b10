// A small PNG reader for the common case (8 bits per channel, not
// interlaced): decoding through GDI+ loads the whole imaging codec stack,
// which under Wine costs more than the rest of the window's start-up.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace xcgui {

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> bgra;  // premultiplied, top row first
};

// nullopt when the picture is not a PNG of the common kind (the caller then
// uses the general decoder), is damaged or has more than maxPixels pixels.
std::optional<Pixels> DecodeSimplePng(const std::vector<std::uint8_t>& file,
                                      std::uint64_t maxPixels = std::uint64_t{1} << 24);

}  // namespace xcgui
