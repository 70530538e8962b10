// A decoded picture and its copy scaled to the size it is drawn at. Pictures
// are drawn with GDI from that copy, copied or alpha blended: under Wine the first GDI+
// bitmap of a process costs a quarter of a second, and GDI+'s own
// stretching is slow there.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "geometry.h"
#include "png.h"

namespace xcgui {

class Picture {
public:
    explicit Picture(Pixels pixels);
    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    Size Dimensions() const { return {pixels_.width, pixels_.height}; }
    // Every pixel fully covers: drawn with a plain copy, not a blend.
    bool Opaque() const { return opaque_; }
    // A premultiplied 32-bit DIB of the picture stretched to size (bilinear),
    // kept until a different size is asked for.
    HBITMAP Scaled(Size size);

private:
    Pixels pixels_;
    bool opaque_;
    HBITMAP scaled_ = nullptr;
    Size scaledSize_;
};

// PNG pictures of the common kind are decoded by us, anything else by GDI+.
std::shared_ptr<Picture> DecodePicture(const std::vector<std::uint8_t>& file);

// Bilinear resampling of premultiplied pixels (exposed for tests).
std::vector<std::uint32_t> Resample(const Pixels& from, Size to);

}  // namespace xcgui
