// Writes a ZIP archive whose every header field is chosen here, so an
// archive comes out byte for byte the same on every build and on Linux and
// Windows alike. Entries are compressed on all cores; the archive keeps the
// order they are given in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace varnel::pack {

using Bytes = std::vector<std::uint8_t>;

// What the installer can carry. Its reader counts entries in the 16-bit
// field of a ZIP without ZIP64 and reports sizes as int32; the archive lies
// in the installer's image, which a 32-bit process must map whole into its
// 2 GB of address space beside the UI library and the heap.
inline constexpr std::uint64_t kMaxEntries = 65535;
inline constexpr std::uint64_t kMaxEntrySize = 0x7FFFFFFF;
inline constexpr std::uint64_t kMaxArchiveSize = 1ull << 30;
inline constexpr const char* kArchiveLimit =
    "1 GiB (1,073,741,824 bytes), so the installer still loads in a 32-bit process";
inline constexpr const char* kEntryLimit = "2 GiB - 1 bytes, the installer's sizes are 32-bit signed";

// The fixed time every entry of the installer's archives carries.
inline constexpr const char* kDefaultDosTime = "2024-11-18 00:00:00";

struct ZipSource {
    std::string name;            // stored bytes; a folder's ends in its separator
    std::filesystem::path file;  // the content; unused for a folder
    bool folder = false;
};

enum class EntryMethod {
    Deflate,  // standard deflate (libdeflate; zlib's inflate reads it)
    Zstd,     // Zstandard, ZIP method 93: smaller, decodes faster
};

// "deflate" or "zstd"; throws PackError on another name.
EntryMethod ParseMethod(const std::string& name);

struct ZipSettings {
    EntryMethod method = EntryMethod::Deflate;
    std::uint32_t flags = 0;          // general purpose bits 1-2 (deflate level), 3 (descriptor), 11 (UTF-8)
    std::uint32_t attributes = 0x20;  // external attributes of files; folders get 0x10
    std::uint32_t dosStamp = 0;       // (DOS date << 16) | DOS time
    unsigned threads = 0;             // 0: one per core
};

// "YYYY-MM-DD HH:MM:SS" -> (DOS date << 16) | DOS time, seconds in the
// format's two-second steps. Throws PackError on a bad text.
std::uint32_t ParseDosTime(const std::string& text);

// The whole archive. Throws PackError when a source cannot be read or a
// limit above is passed (naming the entry).
Bytes WriteZip(const std::vector<ZipSource>& sources, const ZipSettings& settings);

// Reads a whole file; throws PackError naming it.
Bytes ReadWholeFile(const std::filesystem::path& path);

// Writes the parts, in order, to `path` through a temporary file beside it,
// so `path` holds either its old content or all of the new; throws PackError.
void WriteFileAtomically(const std::filesystem::path& path, const std::vector<std::span<const std::uint8_t>>& parts);

// The path as the person packing typed it (UTF-8 on Linux, the console's
// wide text converted on Windows), for messages.
std::string Shown(const std::filesystem::path& path);

}  // namespace varnel::pack
