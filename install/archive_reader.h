// Reads a ZIP archive that lies in memory and unpacks its items one at a time
// below a base directory.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "install/entry_data.h"
#include "install/entry_rules.h"
#include "install/zip_entry.h"
#include "install/zip_memory_io.h"

namespace varnel {

enum class ArchiveResult : std::uint32_t {
    kDone = 0,
    kCannotCreate = 0x200,      // target not creatable (also: refused name, over-long path)
    kWriteFailed = 0x400,
    kPasswordNeeded = 0x1000,   // missing or wrong password
    kBadIndex = 0x10000,
    kNotOpen = 0x40000,
    kCorrupt = 0x5000000,       // data cannot be inflated, cut short or fails its CRC
};

struct ArchiveItemInfo {
    std::int32_t index = -1;          // -1: the lookup failed
    std::string name;                 // cleaned, GBK
    std::uint32_t attributes = 0;     // FILE_ATTRIBUTE_* bits
    FILETIME lastAccessTime{};        // local time
    FILETIME creationTime{};          // local time
    FILETIME modificationTime{};      // local time
    std::int32_t compressedSize = 0;
    std::int32_t uncompressedSize = 0;
};

// Modification, access and creation times (UTC file times) carried by a "UT"
// block of a local extra field; a time the block does not carry is empty.
struct UnixTimes {
    std::optional<FILETIME> modification, access, creation;
};
UnixTimes ReadUnixTimes(std::span<const std::uint8_t> extraField);

// --- The reader.

class ArchiveReader {
public:
    ArchiveReader();
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Reads the bytes in place: they must stay valid until Close. Closes an
    // archive already open first. The base directory becomes the current
    // directory.
    bool OpenFromMemory(const void* data, std::size_t length, std::string_view password = {});
    ArchiveResult SetBaseDirectory(std::string_view directory);
    int ItemCount() const;
    ArchiveItemInfo GetItemInfo(int index);
    ArchiveResult ExtractItem(int index, std::string_view target);
    void Close();

    // The system error behind the last ExtractItem that could not create or
    // write its file (ERROR_DISK_FULL, for one); 0 after any other result.
    DWORD LastSystemError() const { return lastError_; }

    // While *stop is true, a file being written is given up between two
    // chunks: the partly written copy is removed, an existing file of that
    // name is left as it was, and the result is 0x400 with
    // ERROR_OPERATION_ABORTED. Another thread may set it; null for never.
    void StopWhen(const std::atomic<bool>* stop) { stop_ = stop; }

    bool IsOpen() const { return archive_ != nullptr; }
    const std::string& BaseDirectory() const { return baseDirectory_; }

private:
    // An entry as read, and what the installer makes of it.
    struct Item {
        int index = -1;
        ZipEntry entry;
        std::string name;
        std::uint32_t attributes = 0;
        FILETIME creation{}, access{}, modification{};  // UTC
    };

    ArchiveResult LookUp(int index);
    bool MoveTo(int index);
    bool ReadCurrentItem(Item& item);
    bool PasswordMatches() const;
    ArchiveResult ExtractFile(const std::string& path);
    ArchiveResult Refused(ArchiveResult result, const std::wstring& target);
    bool TargetHoldsItem(const std::wstring& target);
    void MakeDirectory(std::string_view directoryPart, bool useBase) const;

    void* archive_ = nullptr;  // minizip's unzFile
    MemoryZipStream stream_;  // the I/O layer's view of the archive bytes
    std::string password_;
    std::string baseDirectory_;
    int position_ = -1;        // minizip's current entry; -1 when unknown
    Item item_;                // the item last looked up
    std::vector<std::uint8_t> transfer_;
    std::unique_ptr<ZstdDecoder> zstd_;  // made at the first Zstandard entry
    DWORD lastError_ = 0;
    const std::atomic<bool>* stop_ = nullptr;
};

}  // namespace varnel
