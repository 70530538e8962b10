// Extraction figures for bench/extract.
//   extract_bench ARCHIVE speed   : ArchiveReader extraction next to plain inflate
//                                   of the same entries into memory, and next to
//                                   the bare work of any 16 KB-buffer extractor
//   extract_bench ARCHIVE memory  : one extraction as the installer runs it, then
//                                   the process's peak memory
//   extract_bench ARCHIVE into FOLDER : one extraction by the reader into FOLDER,
//                                   then the floor: each entry inflated whole
//                                   into memory and written with one call
// The archive is mapped, not read into the heap: the installer's payload lies
// in its image the same way.
#include <windows.h>
#include <psapi.h>

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "install/archive_reader.h"

namespace {


namespace fs = std::filesystem;

struct Entry {
    std::uint32_t method, packed, size, localOffset;
    std::string name;
};

std::uint32_t Le16(const std::uint8_t* p) { return p[0] | p[1] << 8; }
std::uint32_t Le32(const std::uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

// The central directory, read directly (no minizip), for the plain inflate.
std::vector<Entry> ListEntries(std::span<const std::uint8_t> zip) {
    std::vector<Entry> entries;
    if (zip.size() < 22) return entries;
    std::size_t end = zip.size() - 22;
    while (end > 0 && Le32(&zip[end]) != 0x06054b50) --end;
    std::size_t at = Le32(&zip[end + 16]);
    for (std::uint32_t n = Le16(&zip[end + 10]); n > 0 && at + 46 <= zip.size(); --n) {
        const std::uint8_t* h = &zip[at];
        const char* name = reinterpret_cast<const char*>(h + 46);
        entries.push_back({Le16(h + 10), Le32(h + 20), Le32(h + 24), Le32(h + 42), std::string(name, Le16(h + 28))});
        at += 46 + Le16(h + 28) + Le16(h + 30) + Le16(h + 32);
    }
    return entries;
}

double Now() {
    static LARGE_INTEGER frequency{};
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

const std::uint8_t* EntryData(std::span<const std::uint8_t> zip, const Entry& e) {
    const std::uint8_t* local = &zip[e.localOffset];
    return local + 30 + Le16(local + 26) + Le16(local + 28);
}

// The entry's data unpacked whole into a buffer that holds it: one inflate
// (or Zstandard) call, or a copy when it is stored.
void UnpackWhole(std::span<const std::uint8_t> zip, const Entry& e, std::vector<std::uint8_t>& out) {
    if (e.method == varnel::kMethodZstd) {
        ZSTD_decompress(out.data(), out.size(), EntryData(zip, e), e.packed);
        return;
    }
    if (e.method != Z_DEFLATED) {
        std::copy_n(EntryData(zip, e), e.size, out.data());
        return;
    }
    z_stream z{};
    inflateInit2(&z, -MAX_WBITS);
    z.next_in = const_cast<Bytef*>(EntryData(zip, e));
    z.avail_in = e.packed;
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    inflate(&z, Z_FINISH);
    inflateEnd(&z);
}

double PlainInflate(std::span<const std::uint8_t> zip, const std::vector<Entry>& entries, std::vector<std::uint8_t>& out) {
    const double start = Now();
    for (const Entry& e : entries) UnpackWhole(zip, e, out);
    return Now() - start;
}

// The work any extractor with a 16 KB buffer does, without the reader:
// inflate in 16 KB pieces, CRC, and (with a file) write each piece.
double ChunkedInflate(std::span<const std::uint8_t> zip, const std::vector<Entry>& entries, HANDLE file) {
    std::vector<std::uint8_t> chunk(16384);
    const double start = Now();
    ZSTD_DStream* zstd = ZSTD_createDStream();
    for (const Entry& e : entries) {
        if (e.method == varnel::kMethodZstd) {
            ZSTD_initDStream(zstd);
            ZSTD_inBuffer in{EntryData(zip, e), e.packed, 0};
            uLong crc = crc32(0, nullptr, 0);
            for (std::size_t hint = 1; hint != 0 && !ZSTD_isError(hint);) {
                ZSTD_outBuffer piece{chunk.data(), chunk.size(), 0};
                hint = ZSTD_decompressStream(zstd, &piece, &in);
                crc = crc32(crc, chunk.data(), static_cast<uInt>(piece.pos));
                DWORD written = 0;
                if (file != INVALID_HANDLE_VALUE) WriteFile(file, chunk.data(), static_cast<DWORD>(piece.pos), &written, nullptr);
                if (piece.pos == 0 && in.pos == in.size) break;
            }
            continue;
        }
        if (e.method != Z_DEFLATED) continue;
        z_stream z{};
        inflateInit2(&z, -MAX_WBITS);
        z.next_in = const_cast<Bytef*>(EntryData(zip, e));
        z.avail_in = e.packed;
        uLong crc = crc32(0, nullptr, 0);
        for (int status = Z_OK; status == Z_OK;) {
            z.next_out = chunk.data();
            z.avail_out = static_cast<uInt>(chunk.size());
            status = inflate(&z, Z_NO_FLUSH);
            const DWORD produced = static_cast<DWORD>(chunk.size() - z.avail_out);
            crc = crc32(crc, chunk.data(), produced);
            DWORD written = 0;
            if (file != INVALID_HANDLE_VALUE) WriteFile(file, chunk.data(), produced, &written, nullptr);
        }
        inflateEnd(&z);
    }
    ZSTD_freeDStream(zstd);
    return Now() - start;
}

// The least any extractor does per file: the entry inflated whole into
// memory, then created, written in one call and closed.
double InflateAndWriteWhole(std::span<const std::uint8_t> zip, const std::vector<Entry>& entries,
                            std::vector<std::uint8_t>& out, const fs::path& folder) {
    fs::remove_all(folder);
    const double start = Now();
    fs::create_directories(folder);
    for (const Entry& e : entries) {
        if (e.name.empty() || e.name.back() == '/') continue;
        UnpackWhole(zip, e, out);
        const fs::path path = folder / fs::path(e.name);  // the bench's archives have plain names
        if (path.has_parent_path() && path.parent_path() != folder) fs::create_directories(path.parent_path());
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        DWORD written = 0;
        if (file != INVALID_HANDLE_VALUE) {
            WriteFile(file, out.data(), e.size, &written, nullptr);
            CloseHandle(file);
        }
    }
    return Now() - start;
}

// What the installation run does per item, without its 10 ms waits.
double ReaderExtraction(std::span<const std::uint8_t> zip, const fs::path& folder, int* failures) {
    fs::remove_all(folder);
    const double start = Now();
    varnel::ArchiveReader reader;
    if (!reader.OpenFromMemory(zip.data(), zip.size())) {
        *failures = -1;
        return 0;
    }
    reader.SetBaseDirectory(folder.string());
    for (int i = 0, n = reader.ItemCount(); i < n; ++i)
        if (reader.ExtractItem(i, reader.GetItemInfo(i).name) != varnel::ArchiveResult::kDone) ++*failures;
    reader.Close();
    return Now() - start;
}

class MappedFile {
public:
    explicit MappedFile(const wchar_t* path) {
        file_ = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file_ == INVALID_HANDLE_VALUE) return;
        LARGE_INTEGER size{};
        GetFileSizeEx(file_, &size);
        mapping_ = CreateFileMappingW(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping_) view_ = MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0);
        if (view_) bytes_ = {static_cast<const std::uint8_t*>(view_), static_cast<std::size_t>(size.QuadPart)};
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile() {
        if (view_) UnmapViewOfFile(view_);
        if (mapping_) CloseHandle(mapping_);
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    }
    std::span<const std::uint8_t> Bytes() const { return bytes_; }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE mapping_ = nullptr;
    void* view_ = nullptr;
    std::span<const std::uint8_t> bytes_;
};

double Mb(double bytes) { return bytes / (1024.0 * 1024.0); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: extract_bench ARCHIVE speed|memory\n");
        return 2;
    }
    const MappedFile archive(argv[1]);
    const std::span<const std::uint8_t> zip = archive.Bytes();
    const std::vector<Entry> entries = ListEntries(zip);
    if (zip.empty() || entries.empty()) {
        std::fprintf(stderr, "extract_bench: cannot read the archive\n");
        return 1;
    }
    std::uint64_t unpacked = 0, largest = 0;
    for (const Entry& e : entries) {
        unpacked += e.size;
        largest = std::max<std::uint64_t>(largest, e.size);
    }
    const fs::path folder = fs::temp_directory_path() / "varnel-extract-bench";
    const std::wstring mode = argv[2];
    int failures = 0;

    if (mode == L"into" && argc > 3) {
        const fs::path target = argv[3];
        std::vector<std::uint8_t> out(largest + 1);
        const double reader = ReaderExtraction(zip, target, &failures);
        const double plain = PlainInflate(zip, entries, out);
        const double floor = InflateAndWriteWhole(zip, entries, out, target);
        std::printf("reader_ms %.1f\nplain_inflate_ms %.1f\nfloor_ms %.1f\nentries %u\nfailed %d\n", reader * 1000,
                    plain * 1000, floor * 1000, static_cast<unsigned>(entries.size()), failures);
    } else if (mode == L"speed") {
        std::vector<std::uint8_t> out(largest + 1);
        double plain = 1e9, chunked = 1e9, written = 1e9, reader = 1e9;
        for (int round = 0; round < 5; ++round) {
            plain = std::min(plain, PlainInflate(zip, entries, out));
            chunked = std::min(chunked, ChunkedInflate(zip, entries, INVALID_HANDLE_VALUE));
            fs::create_directories(folder);
            const HANDLE file = CreateFileW((folder / "all.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            written = std::min(written, ChunkedInflate(zip, entries, file));
            CloseHandle(file);
            reader = std::min(reader, ReaderExtraction(zip, folder, &failures));
        }
        fs::remove_all(folder);
        const double mb = Mb(static_cast<double>(unpacked));
        const auto line = [&](const char* what, double seconds) {
            std::printf("%-40s %8.1f ms %7.1f MB/s %6.2fx\n", what, seconds * 1000, mb / seconds, plain / seconds);
        };
        std::printf("payload: %u entries, %.2f MB packed, %.2f MB unpacked; best of 5 runs each\n",
                    static_cast<unsigned>(entries.size()), Mb(static_cast<double>(zip.size())), mb);
        line("plain inflate into memory", plain);
        line("  16 KB pieces + CRC, memory", chunked);
        line("  16 KB pieces + CRC + WriteFile", written);
        line("ArchiveReader, one file per item", reader);
        std::printf("failed items: %d\n", failures);
    } else {
        PROCESS_MEMORY_COUNTERS before{}, after{};
        before.cb = after.cb = sizeof(before);
        GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof(before));
        ReaderExtraction(zip, folder, &failures);
        GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof(after));
        fs::remove_all(folder);
        const auto mb = [](SIZE_T bytes) { return Mb(static_cast<double>(bytes)); };
        std::printf("extraction run: %d failed items\n", failures);
        std::printf("peak working set    %7.2f MB = %.2f MB before extracting (Wine's own) + %.2f MB (archive pages read, buffers)\n",
                    mb(after.PeakWorkingSetSize), mb(before.WorkingSetSize), mb(after.PeakWorkingSetSize - before.WorkingSetSize));
        std::printf("peak private bytes  %7.2f MB = %.2f MB before extracting + %.2f MB\n", mb(after.PeakPagefileUsage),
                    mb(before.PagefileUsage), mb(after.PeakPagefileUsage - before.PagefileUsage));
        std::printf("extraction's share  %7.2f MB of a budget of %.2f MB (payload %.2f MB + 8 MB)\n",
                    mb(after.PeakWorkingSetSize - before.WorkingSetSize), Mb(static_cast<double>(zip.size())) + 8,
                    Mb(static_cast<double>(zip.size())));
    }
    return failures == 0 ? 0 : 1;
}
