#include "tools/zip_writer.h"

#include <libdeflate.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include "install/entry_data.h"
#include "tools/little_endian.h"
#include "tools/pack_error.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace varnel::pack {
namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint16_t kVersion = 20;      // 2.0: deflate; upper byte 0 = host DOS
constexpr std::uint16_t kVersionZstd = 63;  // 6.3: Zstandard
// Chosen by measurement on a large payload (bench/pack).
constexpr int kZstdLevel = 19;
constexpr std::uint32_t kFolderAttribute = 0x10;

// The deflate level that general purpose bits 1-2 announce (libdeflate's
// scale, where 12 is its strongest).
int LevelForFlags(std::uint32_t flags) {
    switch (flags & 6) {
        case 4: return 2;  // fast
        case 6: return 1;  // super fast
        default: return 12;  // normal and maximum
    }
}

struct Packed {
    Bytes data;  // compressed
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    std::string error;
};

bool DeflateInto(const Bytes& plain, int level, Bytes& out) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    if (!compressor) return false;
    out.resize(libdeflate_deflate_compress_bound(compressor, plain.size()));
    const std::size_t n = libdeflate_deflate_compress(compressor, plain.data(), plain.size(), out.data(), out.size());
    libdeflate_free_compressor(compressor);
    out.resize(n);
    return n > 0;
}

bool ZstdInto(const Bytes& plain, Bytes& out) {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    if (!context) return false;
    ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, kZstdLevel);
    ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, kZstdMaxWindowLog);  // what the installer decodes
    out.resize(ZSTD_compressBound(plain.size()));
    const std::size_t n = ZSTD_compress2(context, out.data(), out.size(), plain.data(), plain.size());
    ZSTD_freeCCtx(context);
    if (ZSTD_isError(n)) return false;
    out.resize(n);
    return true;
}

Packed Compress(const ZipSource& source, const ZipSettings& settings) {
    Packed packed;
    if (source.folder) return packed;
    Bytes plain;
    try {
        plain = ReadWholeFile(source.file);
    } catch (const PackError& e) {
        packed.error = e.what();
        return packed;
    }
    packed.size = plain.size();
    if (plain.size() > kMaxEntrySize) {
        packed.error = Shown(source.file) + " is larger than " + kEntryLimit;
        return packed;
    }
    packed.crc = static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0), plain.data(), static_cast<uInt>(plain.size())));
    const bool done = settings.method == EntryMethod::Zstd ? ZstdInto(plain, packed.data)
                                                           : DeflateInto(plain, LevelForFlags(settings.flags), packed.data);
    if (!done) packed.error = "cannot compress " + Shown(source.file);
    return packed;
}

// Entries compressed by a pool of workers and handed over in order; a
// worker stays at most `window` entries ahead of the writer, so memory holds
// a few entries, not the whole folder.
class CompressionPool {
public:
    CompressionPool(const std::vector<ZipSource>& sources, const ZipSettings& settings, unsigned threads)
        : sources_(sources), settings_(settings), slots_(sources.size()) {
        if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
        threads = static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(1, sources.size())));
        window_ = 2 * threads;
        for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
    }
    CompressionPool(const CompressionPool&) = delete;
    CompressionPool& operator=(const CompressionPool&) = delete;
    ~CompressionPool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        for (auto& worker : workers_) worker.join();
    }

    Packed Take(std::size_t index) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return slots_[index].has_value(); });
        Packed packed = std::move(*slots_[index]);
        slots_[index].reset();
        taken_ = index + 1;
        lock.unlock();
        changed_.notify_all();
        return packed;
    }

private:
    void Work() {
        for (;;) {
            std::size_t index;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stopping_ || next_ >= sources_.size() || next_ < taken_ + window_; });
                if (stopping_ || next_ >= sources_.size()) return;
                index = next_++;
            }
            Packed packed = Compress(sources_[index], settings_);
            {
                std::lock_guard lock(mutex_);
                slots_[index] = std::move(packed);
            }
            changed_.notify_all();
        }
    }

    const std::vector<ZipSource>& sources_;
    const ZipSettings settings_;
    std::vector<std::optional<Packed>> slots_;
    std::size_t window_ = 2, next_ = 0, taken_ = 0;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> workers_;
};

}  // namespace

std::uint32_t ParseDosTime(const std::string& text) {
    int y, mo, d, h, mi, s;
    char tail;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6 ||
        y < 1980 || y > 2107 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 ||
        h < 0 || mi < 0 || s < 0)
        throw PackError("bad --dos-time (want \"YYYY-MM-DD HH:MM:SS\", 1980-2107): " + text);
    const std::uint32_t date = ((y - 1980) << 9) | (mo << 5) | d;
    const std::uint32_t time = (h << 11) | (mi << 5) | (s / 2);
    return (date << 16) | time;
}

EntryMethod ParseMethod(const std::string& name) {
    if (name == "deflate") return EntryMethod::Deflate;
    if (name == "zstd") return EntryMethod::Zstd;
    throw PackError("unknown entry method " + name + " (deflate or zstd)");
}

Bytes WriteZip(const std::vector<ZipSource>& sources, const ZipSettings& settings) {
    if (sources.size() > kMaxEntries)
        throw PackError(std::to_string(sources.size()) + " entries: the installer takes at most 65,535");
    struct Central {
        std::uint32_t crc, compressedSize, size, offset, attributes;
    };
    std::vector<Central> central;
    central.reserve(sources.size());
    const bool descriptor = settings.flags & 8;
    const bool zstd = settings.method == EntryMethod::Zstd;
    const auto method = [&](const ZipSource& e) {
        return e.folder ? kMethodStored : zstd ? kMethodZstd : kMethodDeflate;
    };
    const auto version = [&](const ZipSource& e) { return e.folder || !zstd ? kVersion : kVersionZstd; };
    Bytes zip;
    {
        CompressionPool pool(sources, settings, settings.threads);
        for (std::size_t i = 0; i < sources.size(); ++i) {
            const ZipSource& e = sources[i];
            const Packed packed = pool.Take(i);
            if (!packed.error.empty()) throw PackError(packed.error);
            const Central c{packed.crc, static_cast<std::uint32_t>(packed.data.size()),
                            static_cast<std::uint32_t>(packed.size), static_cast<std::uint32_t>(zip.size()),
                            e.folder ? kFolderAttribute : settings.attributes};
            if (zip.size() + 30 + e.name.size() + packed.data.size() + 16 > kMaxArchiveSize)
                throw PackError("the archive grows beyond " + std::string(kArchiveLimit) + " at " + e.name);
            Put32(zip, kLocalSignature);
            Put16(zip, version(e));
            Put16(zip, settings.flags);
            Put16(zip, method(e));
            Put32(zip, settings.dosStamp);  // time, then date
            // With a data descriptor the local header leaves CRC and sizes zero.
            Put32(zip, descriptor ? 0 : c.crc);
            Put32(zip, descriptor ? 0 : c.compressedSize);
            Put32(zip, descriptor ? 0 : c.size);
            Put16(zip, static_cast<std::uint32_t>(e.name.size()));
            Put16(zip, 0);
            zip.insert(zip.end(), e.name.begin(), e.name.end());
            zip.insert(zip.end(), packed.data.begin(), packed.data.end());
            if (descriptor) {
                Put32(zip, kDescriptorSignature);
                Put32(zip, c.crc);
                Put32(zip, c.compressedSize);
                Put32(zip, c.size);
            }
            central.push_back(c);
        }
    }
    const auto centralStart = static_cast<std::uint32_t>(zip.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const ZipSource& e = sources[i];
        const Central& c = central[i];
        Put32(zip, kCentralSignature);
        Put16(zip, version(e));  // made by: host 0
        Put16(zip, version(e));  // needed to extract
        Put16(zip, settings.flags);
        Put16(zip, method(e));
        Put32(zip, settings.dosStamp);
        Put32(zip, c.crc);
        Put32(zip, c.compressedSize);
        Put32(zip, c.size);
        Put16(zip, static_cast<std::uint32_t>(e.name.size()));
        Put16(zip, 0);  // extra
        Put16(zip, 0);  // comment
        Put16(zip, 0);  // disk
        Put16(zip, 0);  // internal attributes
        Put32(zip, c.attributes);
        Put32(zip, c.offset);
        zip.insert(zip.end(), e.name.begin(), e.name.end());
    }
    const auto centralSize = static_cast<std::uint32_t>(zip.size()) - centralStart;
    Put32(zip, kEndSignature);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, static_cast<std::uint32_t>(sources.size()));
    Put16(zip, static_cast<std::uint32_t>(sources.size()));
    Put32(zip, centralSize);
    Put32(zip, centralStart);
    Put16(zip, 0);
    if (zip.size() > kMaxArchiveSize) throw PackError("the archive is larger than " + std::string(kArchiveLimit));
    return zip;
}

Bytes ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw PackError("cannot read " + Shown(path));
    const std::streamoff size = in.tellg();
    if (size < 0) throw PackError("cannot read " + Shown(path));
    Bytes data(static_cast<std::size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(data.data()), size)) throw PackError("cannot read " + Shown(path));
    return data;
}

void WriteFileAtomically(const std::filesystem::path& path, const std::vector<std::span<const std::uint8_t>>& parts) {
    std::filesystem::path temp = path;
    temp += ".part";
    bool written;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        for (const auto part : parts)
            out.write(reinterpret_cast<const char*>(part.data()), static_cast<std::streamsize>(part.size()));
        written = static_cast<bool>(out.flush());
    }
    std::error_code error;
    if (!written) {
        std::filesystem::remove(temp, error);
        throw PackError("cannot write " + Shown(temp));
    }
#ifdef _WIN32
    if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) error.assign(1, std::system_category());
#else
    std::filesystem::rename(temp, path, error);
#endif
    if (error) {
        std::filesystem::remove(temp, error);
        throw PackError("cannot replace " + Shown(path));
    }
}

std::string Shown(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace varnel::pack
