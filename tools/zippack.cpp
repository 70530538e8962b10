// zippack: writes a ZIP archive whose every header field is chosen here, so
// the installer's archives come out byte for byte the same on every build.
//
//   zippack OUT.zip [--flags HEX] [--attr HEX] [--dos-time "YYYY-MM-DD HH:MM:SS"]
//           NAME=SOURCE ...
//
// Every entry is deflated, made by host 0 (DOS/Windows), has the given
// general purpose flags and external attributes, one fixed DOS time and no
// extra field; entries keep command-line order. Flag bit 3 really puts the
// CRC and sizes in a data descriptor after the data; bits 1-2 pick the
// deflate level the way the flag defines them. The container is written
// here with zlib's raw deflate (minizip's zip.c cannot write data
// descriptors), then read back through minizip's unzip and compared with the
// sources before the archive replaces OUT.zip.
#include <zlib.h>

#include "unzip.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint16_t kVersion = 20;             // 2.0: deflate; upper byte 0 = host DOS
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint32_t kKnownFlags = 0x080E;      // level bits 1-2, descriptor 3, UTF-8 11

struct Options {
    std::string output;
    std::uint32_t flags = 0;
    std::uint32_t attributes = 0x20;
    std::string dosTime = "2024-11-18 00:00:00";
    std::vector<std::pair<std::string, std::string>> entries;  // name, source
};

struct Entry {
    std::string name;
    Bytes data;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t offset = 0;
};

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "zippack: %s\n", message.c_str());
    std::exit(1);
}

void Put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::uint32_t ParseHex(const std::string& text, const char* what) {
    std::string_view digits = text;
    if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
    if (digits.empty() || digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)
        Fail(std::string("bad hexadecimal ") + what + ": " + text);
    return static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16));
}

// "YYYY-MM-DD HH:MM:SS" -> (DOS date << 16) | DOS time; seconds are kept in
// two-second steps as the format stores them.
std::uint32_t ParseDosTime(const std::string& text) {
    int y, mo, d, h, mi, s;
    char tail;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6 ||
        y < 1980 || y > 2107 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 ||
        h < 0 || mi < 0 || s < 0)
        Fail("bad --dos-time (want \"YYYY-MM-DD HH:MM:SS\", 1980-2107): " + text);
    const std::uint32_t date = ((y - 1980) << 9) | (mo << 5) | d;
    const std::uint32_t time = (h << 11) | (mi << 5) | (s / 2);
    return (date << 16) | time;
}

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > text.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
        i += n;
    }
    return true;
}

Options ParseCommandLine(int argc, char** argv) {
    if (argc < 2)
        Fail("usage: zippack OUT.zip [--flags HEX] [--attr HEX] [--dos-time \"YYYY-MM-DD HH:MM:SS\"] NAME=SOURCE ...");
    Options options;
    options.output = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) Fail(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--flags") {
            options.flags = ParseHex(value(), "flags");
        } else if (arg == "--attr") {
            options.attributes = ParseHex(value(), "attributes");
        } else if (arg == "--dos-time") {
            options.dosTime = value();
        } else {
            const auto eq = arg.find('=');
            if (eq == std::string::npos || eq == 0 || eq + 1 == arg.size())
                Fail("expected NAME=SOURCE, got: " + arg);
            options.entries.emplace_back(arg.substr(0, eq), arg.substr(eq + 1));
        }
    }
    if (options.flags & ~kKnownFlags)
        Fail("flag bits other than 1, 2, 3 and 11 would describe features this tool does not write");
    return options;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("cannot read " + path);
    Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) Fail("cannot read " + path);
    return data;
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

Bytes Deflate(const Bytes& data, int level) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) Fail("deflateInit2 failed");
    Bytes out(deflateBound(&z, data.size()));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) Fail("deflate failed");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

Bytes BuildArchive(const Options& options, std::vector<Entry>& entries) {
    const std::uint32_t stamp = ParseDosTime(options.dosTime);
    const bool descriptor = options.flags & 8;
    Bytes zip;
    for (Entry& e : entries) {
        const Bytes packed = Deflate(e.data, LevelForFlags(options.flags));
        e.crc = crc32(crc32(0, nullptr, 0), e.data.data(), static_cast<uInt>(e.data.size()));
        e.compressedSize = static_cast<std::uint32_t>(packed.size());
        e.offset = static_cast<std::uint32_t>(zip.size());
        Put32(zip, kLocalSignature);
        Put16(zip, kVersion);
        Put16(zip, options.flags);
        Put16(zip, kDeflated);
        Put32(zip, stamp);  // time, then date
        // With a data descriptor the local header leaves CRC and sizes zero.
        Put32(zip, descriptor ? 0 : e.crc);
        Put32(zip, descriptor ? 0 : e.compressedSize);
        Put32(zip, descriptor ? 0 : static_cast<std::uint32_t>(e.data.size()));
        Put16(zip, static_cast<std::uint32_t>(e.name.size()));
        Put16(zip, 0);
        zip.insert(zip.end(), e.name.begin(), e.name.end());
        zip.insert(zip.end(), packed.begin(), packed.end());
        if (descriptor) {
            Put32(zip, kDescriptorSignature);
            Put32(zip, e.crc);
            Put32(zip, e.compressedSize);
            Put32(zip, static_cast<std::uint32_t>(e.data.size()));
        }
        if (zip.size() > 0xFFFF0000u) Fail("archive too large for a ZIP without ZIP64");
    }
    const auto centralStart = static_cast<std::uint32_t>(zip.size());
    for (const Entry& e : entries) {
        Put32(zip, kCentralSignature);
        Put16(zip, kVersion);  // made by: host 0
        Put16(zip, kVersion);  // needed to extract
        Put16(zip, options.flags);
        Put16(zip, kDeflated);
        Put32(zip, stamp);
        Put32(zip, e.crc);
        Put32(zip, e.compressedSize);
        Put32(zip, static_cast<std::uint32_t>(e.data.size()));
        Put16(zip, static_cast<std::uint32_t>(e.name.size()));
        Put16(zip, 0);  // extra
        Put16(zip, 0);  // comment
        Put16(zip, 0);  // disk
        Put16(zip, 0);  // internal attributes
        Put32(zip, options.attributes);
        Put32(zip, e.offset);
        zip.insert(zip.end(), e.name.begin(), e.name.end());
    }
    const auto centralSize = static_cast<std::uint32_t>(zip.size()) - centralStart;
    Put32(zip, kEndSignature);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, static_cast<std::uint32_t>(entries.size()));
    Put16(zip, static_cast<std::uint32_t>(entries.size()));
    Put32(zip, centralSize);
    Put32(zip, centralStart);
    Put16(zip, 0);
    return zip;
}

// Reads the written archive back with minizip and compares every entry.
std::optional<std::string> VerifyArchive(const std::string& path, const std::vector<Entry>& entries) {
    unzFile zip = unzOpen64(path.c_str());
    if (!zip) return "minizip cannot open the result";
    std::optional<std::string> problem;
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(zip, &global) != UNZ_OK || global.number_entry != entries.size())
        problem = "entry count differs";
    int status = unzGoToFirstFile(zip);
    Bytes data;
    for (std::size_t i = 0; !problem && i < entries.size(); ++i, status = unzGoToNextFile(zip)) {
        const Entry& e = entries[i];
        std::string name(e.name.size() + 1, '\0');
        unz_file_info64 info{};
        if (status != UNZ_OK ||
            unzGetCurrentFileInfo64(zip, &info, name.data(), static_cast<uLong>(name.size()), nullptr, 0, nullptr, 0) != UNZ_OK ||
            name.c_str() != e.name || unzOpenCurrentFile(zip) != UNZ_OK) {
            problem = "cannot read back " + e.name;
            break;
        }
        data.assign(e.data.size() + 1, 0);
        const int read = unzReadCurrentFile(zip, data.data(), static_cast<unsigned>(data.size()));
        const bool same = read == static_cast<int>(e.data.size()) && std::equal(e.data.begin(), e.data.end(), data.begin());
        if (unzCloseCurrentFile(zip) != UNZ_OK || !same) problem = "content of " + e.name + " differs when read back";
    }
    unzClose(zip);
    return problem;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseCommandLine(argc, argv);
    std::vector<Entry> entries;
    std::set<std::string> seen;
    for (const auto& [name, source] : options.entries) {
        if (!seen.insert(name).second) Fail("duplicate entry name: " + name);
        if (name.size() > 0xFFFF) Fail("entry name too long: " + name);
        if ((options.flags & 0x800) && !IsUtf8(name)) Fail("flag bit 11 set but the name is not UTF-8: " + name);
        Entry e{name, ReadFile(source)};
        if (e.data.size() > 0xFFFFFFFEu) Fail(source + " is too large for a ZIP without ZIP64");
        entries.push_back(std::move(e));
    }

    const Bytes zip = BuildArchive(options, entries);
    const std::string temp = options.output + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));
        if (!out.flush()) Fail("cannot write " + temp);
    }
    if (const auto problem = VerifyArchive(temp, entries)) {
        std::remove(temp.c_str());
        Fail(*problem);
    }
    if (std::rename(temp.c_str(), options.output.c_str()) != 0) {
        std::remove(temp.c_str());
        Fail("cannot replace " + options.output);
    }
    return 0;
}
