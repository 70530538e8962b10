// Reads entries of a ZIP archive held in memory (minizip over memory I/O).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace xcgui {

// An archive opened once, its central directory read once into an index:
// a package with many entries, many of them asked for, costs one pass.
// Entry names match without regard to case or to '/' versus '\'; names are
// decoded as UTF-8 when the entry says so, else in the ANSI code page.
class ZipPackage {
public:
    ZipPackage(const void* data, std::size_t length, const std::wstring& password);
    ~ZipPackage();
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    // False for a damaged archive (no readable central directory).
    bool Valid() const { return zip_ != nullptr; }
    // Whether the archive lists an entry of that name, readable or not.
    bool Has(const std::wstring& name) const;
    // nullopt for a missing entry or damaged data (bad header, data or CRC).
    std::optional<std::vector<std::uint8_t>> Read(const std::wstring& name);

private:
    struct Memory;
    struct Place {
        unsigned long long directoryPos, entryNumber;
    };
    std::unique_ptr<Memory> memory_;
    void* zip_ = nullptr;
    std::string password_;
    std::map<std::wstring, Place> index_;  // by normalised name; the first entry of a name wins
};

// One entry, for a single look-up.
std::optional<std::vector<std::uint8_t>> ReadZipEntry(const void* data, std::size_t length,
                                                      const std::wstring& name, const std::wstring& password);

}  // namespace xcgui
