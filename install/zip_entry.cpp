#include "install/zip_entry.h"

#include <algorithm>

namespace varnel {
namespace {

// minizip opens only stored and deflate entries, even raw; a Zstandard
// entry's local header is found through its central header and checked here
// as minizip checks the others.
bool ReadLocalHeader(unzFile archive, std::span<const std::uint8_t> bytes, const unz_file_info64& info,
                     const std::string& name, ZipEntry& entry) {
    unz64_file_pos position{};
    if (unzGetFilePos64(archive, &position) != UNZ_OK) return false;
    const std::uint64_t central = position.pos_in_zip_directory;
    if (central > bytes.size() || bytes.size() - central < 46 || Le32(&bytes[central]) != 0x02014b50) return false;
    const std::uint64_t local = Le32(&bytes[central + 42]);
    if (local > bytes.size() || bytes.size() - local < 30 || Le32(&bytes[local]) != 0x04034b50 ||
        Le16(&bytes[local + 8]) != info.compression_method)
        return false;
    const std::uint64_t nameLength = Le16(&bytes[local + 26]), extraLength = Le16(&bytes[local + 28]);
    const std::uint64_t data = local + 30 + nameLength + extraLength;
    if (data > bytes.size() || bytes.size() - data < info.compressed_size || nameLength != name.size() ||
        !std::equal(name.begin(), name.end(), bytes.begin() + static_cast<std::ptrdiff_t>(local + 30),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }))
        return false;
    const auto extra = bytes.subspan(local + 30 + nameLength, extraLength);
    entry.localExtra.assign(extra.begin(), extra.end());
    entry.dataOffset = data;
    return true;
}

}  // namespace

bool ReadCurrentEntry(unzFile archive, std::span<const std::uint8_t> bytes, ZipEntry& entry) {
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return false;
    // The whole stored name: a cut name could lose the part that keeps it inside the base.
    std::string stored(info.size_filename + 1, '\0');
    if (unzGetCurrentFileInfo64(archive, &info, stored.data(), static_cast<uLong>(stored.size()), nullptr, 0,
                                nullptr, 0) != UNZ_OK)
        return false;
    stored.resize(info.size_filename);

    if (info.compression_method == kMethodZstd) {
        if (!ReadLocalHeader(archive, bytes, info, stored, entry)) return false;
    } else {
        OpenZipEntry open(archive);
        if (!open.Open(nullptr, 1)) return false;
        const int size = unzGetLocalExtrafield(archive, nullptr, 0);
        if (size < 0) return false;
        entry.localExtra.assign(static_cast<std::size_t>(size), 0);
        if (size > 0 && unzGetLocalExtrafield(archive, entry.localExtra.data(), static_cast<unsigned>(size)) != size)
            return false;
        entry.dataOffset = unzGetCurrentFileZStreamPos64(archive);
    }
    entry.storedName = std::move(stored);
    entry.versionMadeBy = static_cast<std::uint32_t>(info.version);
    entry.externalAttributes = static_cast<std::uint32_t>(info.external_fa);
    entry.method = static_cast<std::uint32_t>(info.compression_method);
    entry.flags = static_cast<std::uint32_t>(info.flag);
    entry.crc = static_cast<std::uint32_t>(info.crc);
    entry.dosDate = static_cast<std::uint32_t>(info.dosDate);
    entry.compressedSize = info.compressed_size;
    entry.uncompressedSize = info.uncompressed_size;
    return true;
}

}  // namespace varnel
