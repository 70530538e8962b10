// Little-endian fields appended to a byte buffer, as ZIP and PE headers hold them.
#pragma once

#include <cstdint>
#include <vector>

namespace varnel::pack {

inline void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

}  // namespace varnel::pack
