// zippack: writes a ZIP archive whose every header field is chosen here, so
// the installer's archives come out byte for byte the same on every build.
//
//   zippack OUT.zip [--flags HEX] [--attr HEX] [--dos-time "YYYY-MM-DD HH:MM:SS"]
//           NAME=SOURCE ...
//   zippack OUT.zip [options] --dir FOLDER [--depfile FILE]
//   zippack OUT.zip --carry ARCHIVE.zip
//
// Every file entry is deflated, made by host 0 (DOS/Windows), has the given
// general purpose flags and external attributes, one fixed DOS time and no
// extra field; entries keep command-line order. --dir packs a whole folder
// instead: the names come from the folder itself (never through a command
// line or a build-system list, so no name can break them), sorted, stored as
// GBK bytes, empty folders as stored entries with attribute 0x10; --depfile
// names every file and folder read, so the build repacks when one changes.
// --carry checks an archive against what the installer can read and copies
// it unchanged. Flag bit 3 really puts the
// CRC and sizes in a data descriptor after the data; bits 1-2 pick the
// deflate level the way the flag defines them. The container is written
// here with zlib's raw deflate (minizip's zip.c cannot write data
// descriptors), then read back through minizip's unzip and compared with the
// sources before the archive replaces OUT.zip.
#include <iconv.h>
#include <zlib.h>

#include "unzip.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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
constexpr std::uint16_t kStored = 0;
constexpr std::uint32_t kKnownFlags = 0x080E;      // level bits 1-2, descriptor 3, UTF-8 11
constexpr std::uint32_t kFolderAttribute = 0x10;

// What the installer can carry. Its reader counts entries in the 16-bit
// field of a ZIP without ZIP64 and reports sizes as int32; the archive lies
// in the installer's image, which a 32-bit process must map whole into its
// 2 GB of address space beside the UI library and the heap.
constexpr std::uint64_t kMaxEntries = 65535;
constexpr std::uint64_t kMaxEntrySize = 0x7FFFFFFF;
constexpr std::uint64_t kMaxArchiveSize = 1ull << 30;
const char* const kArchiveLimit = "1 GiB (1,073,741,824 bytes), so the installer still loads in a 32-bit process";
const char* const kEntryLimit = "2 GiB - 1 bytes, the installer's sizes are 32-bit signed";

struct Options {
    std::string output;
    std::uint32_t flags = 0;
    std::uint32_t attributes = 0x20;
    std::string dosTime = "2024-11-18 00:00:00";
    std::vector<std::pair<std::string, std::string>> entries;  // name, source
    std::string folder;
    std::string depfile;
    std::string carry;
};

struct Entry {
    std::string name;
    Bytes data;
    bool folder = false;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t offset = 0;
    std::uint32_t attributes = 0;
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
        } else if (arg == "--dir") {
            options.folder = value();
        } else if (arg == "--depfile") {
            options.depfile = value();
        } else if (arg == "--carry") {
            options.carry = value();
        } else {
            const auto eq = arg.find('=');
            if (eq == std::string::npos || eq == 0 || eq + 1 == arg.size())
                Fail("expected NAME=SOURCE, got: " + arg);
            options.entries.emplace_back(arg.substr(0, eq), arg.substr(eq + 1));
        }
    }
    if (options.flags & ~kKnownFlags)
        Fail("flag bits other than 1, 2, 3 and 11 would describe features this tool does not write");
    if ((!options.folder.empty()) + (!options.carry.empty()) + (!options.entries.empty()) > 1)
        Fail("give NAME=SOURCE entries, --dir or --carry, only one of them");
    if (!options.folder.empty() && (options.flags & 0x800))
        Fail("--dir stores GBK names: flag bit 11 (UTF-8 names) does not fit");
    if (!options.depfile.empty() && options.folder.empty()) Fail("--depfile goes with --dir");
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
        const Bytes packed = e.folder ? Bytes() : Deflate(e.data, LevelForFlags(options.flags));
        const std::uint32_t method = e.folder ? kStored : kDeflated;
        e.crc = crc32(crc32(0, nullptr, 0), e.data.data(), static_cast<uInt>(e.data.size()));
        e.compressedSize = static_cast<std::uint32_t>(packed.size());
        e.offset = static_cast<std::uint32_t>(zip.size());
        Put32(zip, kLocalSignature);
        Put16(zip, kVersion);
        Put16(zip, options.flags);
        Put16(zip, method);
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
        if (zip.size() > kMaxArchiveSize)
            Fail("the archive grows beyond " + std::string(kArchiveLimit) + " at " + e.name);
    }
    const auto centralStart = static_cast<std::uint32_t>(zip.size());
    for (const Entry& e : entries) {
        Put32(zip, kCentralSignature);
        Put16(zip, kVersion);  // made by: host 0
        Put16(zip, kVersion);  // needed to extract
        Put16(zip, options.flags);
        Put16(zip, e.folder ? kStored : kDeflated);
        Put32(zip, stamp);
        Put32(zip, e.crc);
        Put32(zip, e.compressedSize);
        Put32(zip, static_cast<std::uint32_t>(e.data.size()));
        Put16(zip, static_cast<std::uint32_t>(e.name.size()));
        Put16(zip, 0);  // extra
        Put16(zip, 0);  // comment
        Put16(zip, 0);  // disk
        Put16(zip, 0);  // internal attributes
        Put32(zip, e.attributes);
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


// --- names from a folder

// UTF-8 (the host's file names) -> GBK as the installer's code page 936
// reads it; empty when a character has no GBK form.
std::optional<std::string> ToGbk(const std::string& utf8) {
    if (!IsUtf8(utf8)) return std::nullopt;
    iconv_t cd = iconv_open("CP936", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) Fail("iconv has no CP936 conversion");
    std::string in = utf8, out(utf8.size() * 2 + 4, '\0');
    char* from = in.data();
    char* to = out.data();
    std::size_t left = in.size(), room = out.size();
    const bool ok = iconv(cd, &from, &left, &to, &room) != static_cast<std::size_t>(-1) && left == 0;
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(out.size() - room);
    return out;
}

// Why Windows could not create a file or folder of this name; empty when
// it can. The installer writes names as they are stored.
std::string WindowsNameProblem(const std::string& component) {
    for (const char c : component) {
        if (static_cast<unsigned char>(c) < 0x20) return "a control character";
        if (std::strchr("<>:\"|?*\\", c)) return std::string("the character ") + c;
    }
    if (component.back() == ' ' || component.back() == '.') return "a blank or a dot at its end";
    std::string stem = component.substr(0, component.find('.'));
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" ||
        (stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '0' && stem[3] <= '9'))
        return "a device name (" + stem + ")";
    return {};
}

// Every file of the folder, and every folder that holds nothing, by name
// (UTF-8, "/" between levels) in byte order.
std::vector<std::pair<std::string, std::filesystem::path>> ScanFolder(const std::filesystem::path& root,
                                                                      std::vector<std::filesystem::path>& read) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::is_directory(root, error)) Fail("no such folder: " + root.string());
    std::vector<std::pair<std::string, fs::path>> found;
    read.push_back(root);
    fs::recursive_directory_iterator it(root, error), end;
    for (; !error && it != end; it.increment(error)) {
        const fs::path path = it->path();
        // Lexical: fs::relative would follow a linked file to where it points.
        const std::string name = path.lexically_relative(root).generic_string();
        for (std::size_t start = 0; start <= name.size();) {
            const std::size_t slash = std::min(name.find('/', start), name.size());
            if (const std::string problem = WindowsNameProblem(name.substr(start, slash - start)); !problem.empty())
                Fail(root.string() + "/" + name + ": the name holds " + problem + ", which Windows file names cannot");
            start = slash + 1;
        }
        read.push_back(path);
        if (it->is_symlink(error) && fs::is_directory(path, error))
            Fail(root.string() + "/" + name + ": a link to a folder is not followed; copy the folder in");
        if (fs::is_directory(path, error)) {
            if (fs::is_empty(path, error)) found.emplace_back(name + "/", path);
        } else if (fs::is_regular_file(path, error)) {
            found.emplace_back(name, path);
        } else {
            Fail(root.string() + "/" + name + ": neither a file nor a folder");
        }
    }
    if (error) Fail("cannot read the folder " + root.string() + ": " + error.message());
    std::sort(found.begin(), found.end());
    return found;
}

// A Makefile rule naming what --dir read, as Ninja reads it.
void WriteDepfile(const std::string& path, const std::string& output, const std::vector<std::filesystem::path>& read) {
    const auto escape = [](const std::string& text) {
        std::string out;
        for (const char c : text) {
            if (c == ' ' || c == '#' || c == '\\') out += '\\';
            if (c == '$') out += '$';
            out += c;
        }
        return out;
    };
    std::ofstream out(path, std::ios::trunc);
    out << escape(output) << ":";
    for (const auto& p : read) out << " \\\n  " << escape(p.string());
    out << "\n";
    if (!out.flush()) Fail("cannot write " + path);
}

// --- an archive carried as it is

std::optional<std::string> CarryProblem(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error) return "cannot read " + path;
    if (size > kMaxArchiveSize) return "the archive is larger than " + std::string(kArchiveLimit);
    unzFile zip = unzOpen64(path.c_str());
    if (!zip) return "not a ZIP archive minizip can open";
    std::optional<std::string> problem;
    unz_global_info64 global{};
    bool hasMain = false;
    if (unzGetGlobalInfo64(zip, &global) != UNZ_OK) problem = "cannot read the central directory";
    else if (global.number_entry > kMaxEntries)
        problem = std::to_string(global.number_entry) + " entries: the installer takes at most 65,535";
    Bytes buffer(1 << 16);
    int status = unzGoToFirstFile(zip);
    for (std::uint64_t i = 0; !problem && i < global.number_entry; ++i, status = unzGoToNextFile(zip)) {
        std::string name(65536, '\0');
        unz_file_info64 info{};
        if (status != UNZ_OK || unzGetCurrentFileInfo64(zip, &info, name.data(), static_cast<uLong>(name.size()),
                                                        nullptr, 0, nullptr, 0) != UNZ_OK) {
            problem = "entry " + std::to_string(i + 1) + " cannot be read";
            break;
        }
        name.resize(info.size_filename);
        const std::string entry = "entry \"" + name + "\": ";
        const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (info.flag & 1) problem = entry + "encrypted; the installer carries no password";
        else if (info.compression_method != kStored && info.compression_method != kDeflated)
            problem = entry + "compression method " + std::to_string(info.compression_method) + "; only stored (0) and deflate (8) can be read";
        else if (info.uncompressed_size > kMaxEntrySize || info.compressed_size > kMaxEntrySize)
            problem = entry + "larger than " + kEntryLimit;
        else if ((info.flag & 0x800) && !ascii)
            problem = entry + "name marked UTF-8 (flag bit 11), but the installer reads names as GBK bytes; "
                              "store GBK names or pack the folder with VARNEL_PAYLOAD_DIR";
        else if (name.empty() || name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':') ||
                 ("/" + name + "/").find("/../") != std::string::npos || ("\\" + name + "\\").find("\\..\\") != std::string::npos ||
                 name.find("/..\\") != std::string::npos || name.find("\\../") != std::string::npos)
            problem = entry + "an absolute name or one with \"..\" would be written outside the install folder";
        if (problem) break;
        if (name == "varnel.exe") hasMain = true;
        // Inflating every entry checks its data and CRC as the installer will.
        if (unzOpenCurrentFile(zip) != UNZ_OK) {
            problem = entry + "minizip cannot open its data";
            break;
        }
        int read;
        while ((read = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0) {
        }
        if (unzCloseCurrentFile(zip) != UNZ_OK || read < 0) problem = entry + "its data is corrupt or cut short (inflate or CRC failed)";
    }
    unzClose(zip);
    if (!problem && !hasMain)
        problem = "no varnel.exe at the top level: the installer starts and links varnel.exe from the install folder";
    return problem;
}

void WriteFileAtomically(const std::string& output, const Bytes& bytes) {
    const std::string temp = output + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) Fail("cannot write " + temp);
    }
    if (std::rename(temp.c_str(), output.c_str()) != 0) {
        std::remove(temp.c_str());
        Fail("cannot replace " + output);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseCommandLine(argc, argv);
    if (!options.carry.empty()) {
        if (const auto problem = CarryProblem(options.carry)) Fail(options.carry + ": " + *problem);
        WriteFileAtomically(options.output, ReadFile(options.carry));
        return 0;
    }

    std::vector<std::pair<std::string, std::string>> sources = options.entries;
    std::vector<std::filesystem::path> read;
    if (!options.folder.empty()) {
        sources.clear();
        for (const auto& [name, path] : ScanFolder(options.folder, read)) {
            const auto gbk = ToGbk(name);
            if (!gbk)
                Fail(path.string() + ": the name has a character GBK cannot hold (the installer reads names as GBK); rename it");
            sources.emplace_back(*gbk, path.string());
        }
        if (std::none_of(sources.begin(), sources.end(), [](const auto& e) { return e.first == "varnel.exe"; }))
            Fail(options.folder + " holds no varnel.exe: the installer starts and links varnel.exe from the install folder, "
                 "so the folder must have it at its top");
    }
    if (sources.size() > kMaxEntries)
        Fail(std::to_string(sources.size()) + " entries: the installer takes at most 65,535");

    std::vector<Entry> entries;
    std::set<std::string> seen;
    for (const auto& [name, source] : sources) {
        if (!seen.insert(name).second) Fail("duplicate entry name: " + name);
        if (name.size() > 0xFFFF) Fail("entry name too long: " + name);
        if ((options.flags & 0x800) && !IsUtf8(name)) Fail("flag bit 11 set but the name is not UTF-8: " + name);
        Entry e;
        e.name = name;
        e.folder = name.ends_with('/') && !options.folder.empty();
        e.attributes = e.folder ? kFolderAttribute : options.attributes;
        if (!e.folder) e.data = ReadFile(source);
        if (e.data.size() > kMaxEntrySize) Fail(source + " is larger than " + kEntryLimit);
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
    if (!options.depfile.empty()) WriteDepfile(options.depfile, options.output, read);
    return 0;
}
