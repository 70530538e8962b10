// Whether a UI package (a skin) will work in the installer: checked with the
// UI library's own package reader and parsers, so a skin that passes is one
// the library loads, with every element the installer looks up.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace varnel {

struct SkinReport {
    // The installer cannot work with the skin: refuse it.
    std::vector<std::string> problems;
    // It works, but draws something as nothing (a picture the package lacks).
    std::vector<std::string> warnings;
};

// English messages, element and entry names in UTF-8. The package is read
// without a password, as the installer reads it.
SkinReport CheckSkin(std::span<const std::uint8_t> uiPackageZip);

// CheckSkin's problems alone: empty when the skin is fine.
std::vector<std::string> SkinProblems(std::span<const std::uint8_t> uiPackageZip);

}  // namespace varnel
