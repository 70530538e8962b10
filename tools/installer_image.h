// The installer stub's image, with its UI package and payload blocks
// replaced by rewriting the file: the blocks are RCDATA resources, so the
// resource section is built anew (every other resource kept as it was) and
// the sections after it move up. Nothing is relinked; the loader maps the
// result as it maps the linked installer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace varnel::pack {

struct InstallerBlocks {
    std::span<const std::uint8_t> uiPackage;  // empty: keep the stub's
    std::span<const std::uint8_t> payload;
};

struct PackedImage {
    std::vector<std::vector<std::uint8_t>> owned;    // storage for pieces made here
    std::vector<std::span<const std::uint8_t>> parts;  // the file, in order
    bool signatureDropped = false;  // the stub carried an Authenticode signature
    std::uint64_t Size() const;
};

// The stub's blocks, found as the installer finds them; throws PackError
// when the file is not an installer stub or is damaged.
struct StubBlocks {
    std::span<const std::uint8_t> uiLibrary, uiPackage, payload;
};
StubBlocks ReadStubBlocks(std::span<const std::uint8_t> stub);

// The finished installer; `stub` must outlive the result. Throws PackError.
PackedImage PackInstaller(std::span<const std::uint8_t> stub, const InstallerBlocks& blocks);

}  // namespace varnel::pack
