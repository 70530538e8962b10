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

#include "gdi_owner.h"
#include "geometry.h"
#include "png.h"

namespace xcgui {

// Bounds on what a package may make us hold: pixels per decoded picture, in
// all the pictures of one resource load, and in one scaled copy.
inline constexpr std::uint64_t kMaxPicturePixels = std::uint64_t{1} << 24;
inline constexpr std::uint64_t kMaxLoadedPixels = std::uint64_t{1} << 25;
inline constexpr std::uint64_t kMaxScaledPixels = std::uint64_t{1} << 24;

class Picture {
public:
    explicit Picture(Pixels pixels);
    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    Size Dimensions() const { return {pixels_.width, pixels_.height}; }
    // Every pixel fully covers: drawn with a plain copy, not a blend.
    bool Opaque() const { return opaque_; }
    std::uint64_t PixelCount() const { return pixels_.bgra.size(); }
    // A premultiplied 32-bit DIB of the part of the picture stretched to
    // size (bilinear) that lies in part (in the stretched picture's pixels),
    // kept until another one is asked for. Only what is drawn is made: an
    // element may be far larger than the window. Null when part is empty
    // or too large.
    HBITMAP Scaled(Size size, const Rect& part);

private:
    Pixels pixels_;
    bool opaque_;
    BitmapOwner scaled_;
    Size scaledSize_;
    Rect scaledPart_;
};

// PNG pictures of the common kind are decoded by us, the other common
// formats by GDI+; null for anything else, a damaged file, or one with more
// than maxPixels pixels (read from its header before any decoding).
std::shared_ptr<Picture> DecodePicture(const std::vector<std::uint8_t>& file,
                                       std::uint64_t maxPixels = kMaxPicturePixels);

// The width and height a PNG, GIF, BMP or JPEG file's header gives.
std::optional<Size> PictureDimensions(const std::vector<std::uint8_t>& file);

// Bilinear resampling of premultiplied pixels to size, the part of it given
// (exposed for tests). Empty when the part is too large.
std::vector<std::uint32_t> Resample(const Pixels& from, Size to, const Rect& part);
inline std::vector<std::uint32_t> Resample(const Pixels& from, Size to) { return Resample(from, to, {0, 0, to.w, to.h}); }

}  // namespace xcgui
