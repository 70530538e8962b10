// The data of an archive entry, decoded as the installer reads it: stored
// and deflate through minizip, Zstandard (ZIP method 93, which minizip does
// not open) decoded by libzstd where it lies in the archive's memory. Shared
// by the installer's reader and the packers' check.
#pragma once

#include <unzip.h>

#include <cstdint>
#include <memory>
#include <span>

#include "install/zip_entry.h"

namespace varnel {

// True for the methods the installer decodes.
inline bool IsReadableMethod(std::uint32_t method) {
    return method == kMethodStored || method == kMethodDeflate || method == kMethodZstd;
}

// The largest Zstandard window the decoder takes (8 MB): the packers write
// their frames within it, and a frame that asks for more is taken as
// damaged rather than given the memory.
inline constexpr int kZstdMaxWindowLog = 23;

// The Zstandard decoder, kept by a reader for all the entries of an archive
// rather than made again for each.
class ZstdDecoder {
public:
    ZstdDecoder();
    ~ZstdDecoder();
    ZstdDecoder(const ZstdDecoder&) = delete;
    ZstdDecoder& operator=(const ZstdDecoder&) = delete;

private:
    friend class EntryData;
    struct State;
    std::unique_ptr<State> state_;
};

// One entry's data, opened on minizip's current entry for one scope.
class EntryData {
public:
    // `bytes` is the whole archive minizip reads; `zstd` is made when first
    // needed and kept by the caller.
    EntryData(unzFile archive, std::span<const std::uint8_t> bytes, std::unique_ptr<ZstdDecoder>& zstd)
        : archive_(archive), bytes_(bytes), zstd_(zstd) {}
    ~EntryData();
    EntryData(const EntryData&) = delete;
    EntryData& operator=(const EntryData&) = delete;

    // False when the entry's data cannot be opened (or its method is not one
    // the installer decodes).
    bool Open(const ZipEntry& entry);
    // Bytes decoded into out: > 0, 0 at the end, < 0 when the data is damaged.
    int Read(std::uint8_t* out, unsigned size);
    // After the end: true when the whole size came out and the CRC matched.
    // Closes the entry.
    bool Finish();

private:
    unzFile archive_;
    std::span<const std::uint8_t> bytes_;
    std::unique_ptr<ZstdDecoder>& zstd_;
    bool open_ = false, zstdEntry_ = false, ended_ = false, frameEnded_ = false;
    std::uint32_t expectedCrc_ = 0, crc_ = 0;
    std::uint64_t expectedSize_ = 0, total_ = 0;
};

}  // namespace varnel
