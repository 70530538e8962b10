// The three blocks embedded in the program image, used in place.
#pragma once

#include <cstdint>
#include <span>

namespace varnel {

std::span<const std::uint8_t> UiLibraryImage();
std::span<const std::uint8_t> UiPackageBlock();
std::span<const std::uint8_t> PayloadArchive();

}  // namespace varnel
