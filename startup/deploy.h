// Makes sure our XCGUI.dll lies beside the program and fills the UI package
// record.
#pragma once

#include <span>
#include <string>
#include <cstdint>

namespace varnel {

void DeployUiLibrary();

// The deployment decision for one path and image: true when the file at the
// path is (now) byte-identical to the image. A missing or different file is
// written; an identical one is left untouched.
bool EnsureUiLibraryFile(const std::string& path, std::span<const std::uint8_t> image);

}  // namespace varnel
