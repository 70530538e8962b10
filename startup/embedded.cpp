#include "startup/embedded.h"

#include <windows.h>

namespace varnel {
namespace {

// A block is an RCDATA resource of the program image: contiguous, read-only,
// with its exact length.
std::span<const std::uint8_t> ResourceBlock(const char* name) {
    HRSRC resource = FindResourceA(nullptr, name, MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!resource) return {};
    HGLOBAL loaded = LoadResource(nullptr, resource);
    const DWORD size = SizeofResource(nullptr, resource);
    const auto* data = static_cast<const std::uint8_t*>(loaded ? LockResource(loaded) : nullptr);
    if (!data) return {};
    return {data, size};
}

}  // namespace

std::span<const std::uint8_t> UiLibraryImage() { return ResourceBlock("UI_LIBRARY"); }
std::span<const std::uint8_t> UiPackageBlock() { return ResourceBlock("UI_PACKAGE"); }
std::span<const std::uint8_t> PayloadArchive() { return ResourceBlock("PAYLOAD"); }

}  // namespace varnel
