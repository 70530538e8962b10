// zippack: the build's archive packer.
//
//   zippack OUT.zip [--flags HEX] [--attr HEX] [--dos-time "YYYY-MM-DD HH:MM:SS"]
//           [--method deflate|zstd] NAME=SOURCE ...
//   zippack OUT.zip [options] --dir FOLDER [--depfile FILE]
//   zippack OUT.zip --carry ARCHIVE.zip
//
// Every file entry is deflated (or Zstandard, method 93, with --method zstd),
// made by host 0 (DOS/Windows), has the given
// general purpose flags and external attributes, one fixed DOS time and no
// extra field; entries keep command-line order. Flag bit 3 really puts the
// CRC and sizes in a data descriptor after the data; bits 1-2 pick the
// deflate level the way the flag defines them. --dir packs a whole folder
// instead, under GBK names, as varnel-pack does; --depfile names every file
// and folder read, so the build repacks when one changes. --carry checks an
// archive the way the installer reads it and copies it unchanged. Every
// written archive is read back through minizip before it replaces OUT.zip.
#include "unzip.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>

#include "tools/archive_check.h"
#include "tools/folder_source.h"
#include "tools/pack_error.h"
#include "tools/zip_writer.h"

namespace {

using namespace varnel::pack;

constexpr std::uint32_t kKnownFlags = 0x080E;  // level bits 1-2, descriptor 3, UTF-8 11

struct Options {
    std::string output;
    ZipSettings settings;
    std::string dosTime = kDefaultDosTime;
    std::vector<ZipSource> entries;
    std::string folder, depfile, carry;
};

std::uint32_t ParseHex(const std::string& text, const char* what) {
    std::string_view digits = text;
    if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
    if (digits.empty() || digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)
        throw PackError(std::string("bad hexadecimal ") + what + ": " + text);
    return static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16));
}

Options ParseCommandLine(int argc, char** argv) {
    if (argc < 2)
        throw PackError("usage: zippack OUT.zip [--flags HEX] [--attr HEX] [--dos-time \"YYYY-MM-DD HH:MM:SS\"] NAME=SOURCE ...");
    Options options;
    options.output = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw PackError(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--flags") options.settings.flags = ParseHex(value(), "flags");
        else if (arg == "--attr") options.settings.attributes = ParseHex(value(), "attributes");
        else if (arg == "--dos-time") options.dosTime = value();
        else if (arg == "--method") options.settings.method = ParseMethod(value());
        else if (arg == "--dir") options.folder = value();
        else if (arg == "--depfile") options.depfile = value();
        else if (arg == "--carry") options.carry = value();
        else {
            const auto eq = arg.find('=');
            if (eq == std::string::npos || eq == 0 || eq + 1 == arg.size())
                throw PackError("expected NAME=SOURCE, got: " + arg);
            options.entries.push_back({arg.substr(0, eq), arg.substr(eq + 1), false});
        }
    }
    options.settings.dosStamp = ParseDosTime(options.dosTime);
    if (options.settings.flags & ~kKnownFlags)
        throw PackError("flag bits other than 1, 2, 3 and 11 would describe features this tool does not write");
    if ((!options.folder.empty()) + (!options.carry.empty()) + (!options.entries.empty()) > 1)
        throw PackError("give NAME=SOURCE entries, --dir or --carry, only one of them");
    if (!options.folder.empty() && (options.settings.flags & 0x800))
        throw PackError("--dir stores GBK names: flag bit 11 (UTF-8 names) does not fit");
    if (!options.depfile.empty() && options.folder.empty()) throw PackError("--depfile goes with --dir");
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        Options options = ParseCommandLine(argc, argv);
        if (!options.carry.empty()) {
            const Bytes archive = ReadWholeFile(options.carry);
            const std::vector<std::string> problems = ArchiveProblems(archive);
            if (!problems.empty()) {
                for (const auto& p : problems) std::fprintf(stderr, "zippack: %s: %s\n", options.carry.c_str(), p.c_str());
                return 1;
            }
            WriteFileAtomically(options.output, {std::span<const std::uint8_t>(archive)});
            return 0;
        }
        std::vector<std::filesystem::path> read;
        if (!options.folder.empty()) {
            options.entries = ScanFolder(options.folder, NameForm::Gbk, &read);
            if (std::none_of(options.entries.begin(), options.entries.end(),
                             [](const ZipSource& e) { return e.name == "varnel.exe"; }))
                throw PackError(options.folder + " holds no varnel.exe: the installer starts and links varnel.exe from "
                                "the install folder, so the folder must have it at its top");
        }
        std::set<std::string> seen;
        for (const ZipSource& e : options.entries) {
            if (!seen.insert(e.name).second) throw PackError("duplicate entry name: " + e.name);
            if (e.name.size() > 0xFFFF) throw PackError("entry name too long: " + e.name);
        }
        const Bytes zip = WriteZip(options.entries, options.settings);
        // Read back through minizip, every entry inflated and its CRC checked.
        if (const auto problems = ArchiveProblems(zip, ArchiveUse::ReadBack); !problems.empty())
            throw PackError("the written archive does not read back: " + problems.front());
        WriteFileAtomically(options.output, {std::span<const std::uint8_t>(zip)});
        if (!options.depfile.empty()) WriteDepfile(options.depfile, options.output, read);
        return 0;
    } catch (const PackError& e) {
        std::fprintf(stderr, "zippack: %s\n", e.what());
        return 1;
    }
}
