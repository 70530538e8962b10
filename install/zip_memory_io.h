// minizip's I/O over an archive held in memory: the archive is read where it
// lies. Shared by the installer's archive reader and the UI library's package
// reader.
#pragma once

#include <unzip.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace varnel {

struct MemoryZipStream {
    std::span<const std::uint8_t> bytes;
    std::size_t position = 0;
    bool shortRead = false;
};

namespace memory_zip_io {

inline voidpf ZCALLBACK Open(voidpf, const void* stream, int mode) {
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    return const_cast<void*>(stream);
}

// A short read also sets the error that minizip asks for right after it;
// without that a truncated archive reads as zeros and opens as if whole.
inline uLong ZCALLBACK Read(voidpf, voidpf opaque, void* buffer, uLong size) {
    auto& stream = *static_cast<MemoryZipStream*>(opaque);
    const std::size_t left = stream.bytes.size() - std::min(stream.position, stream.bytes.size());
    const std::size_t n = std::min<std::size_t>(size, left);
    std::copy_n(stream.bytes.data() + stream.position, n, static_cast<std::uint8_t*>(buffer));
    stream.position += n;
    stream.shortRead = n < size;
    return static_cast<uLong>(n);
}

inline uLong ZCALLBACK Write(voidpf, voidpf, const void*, uLong) { return 0; }

inline ZPOS64_T ZCALLBACK Tell(voidpf, voidpf opaque) { return static_cast<MemoryZipStream*>(opaque)->position; }

inline long ZCALLBACK Seek(voidpf, voidpf opaque, ZPOS64_T offset, int origin) {
    auto& stream = *static_cast<MemoryZipStream*>(opaque);
    std::uint64_t base = 0;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
        case ZLIB_FILEFUNC_SEEK_CUR: base = stream.position; break;
        case ZLIB_FILEFUNC_SEEK_END: base = stream.bytes.size(); break;
        default: return -1;
    }
    const std::uint64_t target = base + offset;
    if (target < base || target > stream.bytes.size()) return -1;
    stream.position = static_cast<std::size_t>(target);
    return 0;
}

inline int ZCALLBACK Close(voidpf, voidpf) { return 0; }

inline int ZCALLBACK Error(voidpf, voidpf opaque) { return static_cast<MemoryZipStream*>(opaque)->shortRead ? 1 : 0; }

}  // namespace memory_zip_io

// Opens the archive in `stream` (which must outlive the handle); null when
// minizip cannot read it.
inline unzFile OpenMemoryZip(MemoryZipStream& stream) {
    zlib_filefunc64_def io{};
    io.zopen64_file = memory_zip_io::Open;
    io.zread_file = memory_zip_io::Read;
    io.zwrite_file = memory_zip_io::Write;
    io.ztell64_file = memory_zip_io::Tell;
    io.zseek64_file = memory_zip_io::Seek;
    io.zclose_file = memory_zip_io::Close;
    io.zerror_file = memory_zip_io::Error;
    return unzOpen2_64(&stream, &io);
}

}  // namespace varnel
