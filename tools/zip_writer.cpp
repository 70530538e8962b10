#include "tools/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

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
constexpr std::uint16_t kVersion = 20;  // 2.0: deflate; upper byte 0 = host DOS
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint16_t kStored = 0;
constexpr std::uint32_t kFolderAttribute = 0x10;

void Put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// The deflate level that general purpose bits 1-2 announce.
int LevelForFlags(std::uint32_t flags) {
    switch (flags & 6) {
        case 2: return 9;  // maximum
        case 4: return 2;  // fast
        case 6: return 1;  // super fast
        default: return Z_DEFAULT_COMPRESSION;
    }
}

struct Packed {
    Bytes data;  // compressed
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    std::string error;
};

Packed Compress(const ZipSource& source, int level) {
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
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        packed.error = "zlib cannot start deflate";
        return packed;
    }
    packed.data.resize(deflateBound(&z, static_cast<uLong>(plain.size())));
    z.next_in = plain.data();
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = packed.data.data();
    z.avail_out = static_cast<uInt>(packed.data.size());
    const bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
    packed.data.resize(z.total_out);
    deflateEnd(&z);
    if (!done) packed.error = "deflate failed on " + Shown(source.file);
    return packed;
}

// Entries compressed by a pool of workers and handed over in order; a
// worker stays at most `window` entries ahead of the writer, so memory holds
// a few entries, not the whole folder.
class CompressionPool {
public:
    CompressionPool(const std::vector<ZipSource>& sources, int level, unsigned threads)
        : sources_(sources), level_(level), slots_(sources.size()) {
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
            Packed packed = Compress(sources_[index], level_);
            {
                std::lock_guard lock(mutex_);
                slots_[index] = std::move(packed);
            }
            changed_.notify_all();
        }
    }

    const std::vector<ZipSource>& sources_;
    const int level_;
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

Bytes WriteZip(const std::vector<ZipSource>& sources, const ZipSettings& settings) {
    if (sources.size() > kMaxEntries)
        throw PackError(std::to_string(sources.size()) + " entries: the installer takes at most 65,535");
    struct Central {
        std::uint32_t crc, compressedSize, size, offset, attributes;
    };
    std::vector<Central> central;
    central.reserve(sources.size());
    const bool descriptor = settings.flags & 8;
    Bytes zip;
    {
        CompressionPool pool(sources, LevelForFlags(settings.flags), settings.threads);
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
            Put16(zip, kVersion);
            Put16(zip, settings.flags);
            Put16(zip, e.folder ? kStored : kDeflated);
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
        Put16(zip, kVersion);  // made by: host 0
        Put16(zip, kVersion);  // needed to extract
        Put16(zip, settings.flags);
        Put16(zip, e.folder ? kStored : kDeflated);
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
