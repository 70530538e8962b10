// Reads one entry of a ZIP archive held in memory (minizip over memory I/O).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace xcgui {

// Entry names match without regard to case or to '/' versus '\'; names are
// decoded as UTF-8 when the entry says so, else in the ANSI code page.
// nullopt for a missing entry or a damaged archive (bad header, data or CRC).
std::optional<std::vector<std::uint8_t>> ReadZipEntry(const void* data, std::size_t length,
                                                      const std::wstring& name, const std::wstring& password);

}  // namespace xcgui
