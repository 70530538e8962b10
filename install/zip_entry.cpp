#include "install/zip_entry.h"

namespace varnel {

bool ReadCurrentEntry(unzFile archive, ZipEntry& entry) {
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return false;
    // The whole stored name: a cut name could lose the part that keeps it inside the base.
    std::string stored(info.size_filename + 1, '\0');
    if (unzGetCurrentFileInfo64(archive, &info, stored.data(), static_cast<uLong>(stored.size()), nullptr, 0,
                                nullptr, 0) != UNZ_OK)
        return false;
    stored.resize(info.size_filename);

    OpenZipEntry open(archive);
    if (!open.Open(nullptr, 1)) return false;
    const int size = unzGetLocalExtrafield(archive, nullptr, 0);
    if (size < 0) return false;
    entry.localExtra.assign(static_cast<std::size_t>(size), 0);
    if (size > 0 && unzGetLocalExtrafield(archive, entry.localExtra.data(), static_cast<unsigned>(size)) != size)
        return false;
    entry.dataOffset = unzGetCurrentFileZStreamPos64(archive);
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
