// Makes sure our XCGUI.dll lies beside the program and fills the UI package
// record.
#pragma once

#include <span>
#include <string>
#include <cstdint>

#include "platform/handles.h"

namespace varnel {

void DeployUiLibrary();

// The deployment decision for one path and image: the file at the path,
// (now) byte-identical to the image, held open for reading with others
// allowed to read only, so it cannot be changed, replaced or deleted before
// it is loaded; empty when it could not be made so. A missing or different
// file is written; an identical one is left untouched.
FileHandle EnsureUiLibraryFile(const std::string& path, std::span<const std::uint8_t> image);

// True when the bytes begin like a PE image (an "MZ" header whose e_lfanew
// points at "PE\0\0" inside the bytes).
bool LooksLikePeImage(std::span<const std::uint8_t> image);

}  // namespace varnel
