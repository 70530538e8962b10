// One entry of an archive as the installer reads it through minizip: the
// installer's reader and the packers' check both read entries here, so what
// a check accepts is what the installer meets.
#pragma once

#include <unzip.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace varnel {

// The compression methods the installer decodes (ZIP's numbers).
inline constexpr std::uint32_t kMethodStored = 0, kMethodDeflate = 8, kMethodZstd = 93;

// Little-endian fields, as ZIP's headers hold them.
inline std::uint32_t Le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
inline std::uint32_t Le32(const std::uint8_t* p) { return Le16(p) | (Le16(p + 2) << 16); }

struct ZipEntry {
    std::string storedName;  // the whole stored name, raw bytes
    std::uint32_t versionMadeBy = 0, externalAttributes = 0;
    std::uint32_t method = 0, flags = 0, crc = 0, dosDate = 0;
    std::uint64_t compressedSize = 0, uncompressedSize = 0;
    std::vector<std::uint8_t> localExtra;
    std::uint64_t dataOffset = 0;  // of the stored data in the archive
};

// Reads minizip's current entry of the archive held in `bytes`: its central
// header, its local header checked against it (opened raw, so no password is
// needed), the local extra field and where the data begins. False when any
// of it fails.
bool ReadCurrentEntry(unzFile archive, std::span<const std::uint8_t> bytes, ZipEntry& entry);

// Keeps the current entry open for reading for one scope.
class OpenZipEntry {
public:
    explicit OpenZipEntry(unzFile archive) : archive_(archive) {}
    OpenZipEntry(const OpenZipEntry&) = delete;
    OpenZipEntry& operator=(const OpenZipEntry&) = delete;
    ~OpenZipEntry() {
        if (open_) unzCloseCurrentFile(archive_);
    }
    bool Open(const char* password, int raw) {
        open_ = unzOpenCurrentFile3(archive_, nullptr, nullptr, raw, password) == UNZ_OK;
        return open_;
    }
    // The entry's data ended: true when its CRC matched.
    bool CloseChecked() {
        open_ = false;
        return unzCloseCurrentFile(archive_) == UNZ_OK;
    }

private:
    unzFile archive_;
    bool open_ = false;
};

}  // namespace varnel
