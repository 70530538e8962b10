// varnel-pack: puts a vendor's application (and, if given, its skin) into the
// installer stub and writes the finished installer, on Linux or Windows.
//
//   varnel-pack --stub VarnelSetup-stub.exe --app FOLDER|APP.zip
//               [--skin FOLDER|SKIN.zip] --out VarnelSetup.exe
//               [--method deflate|zstd] [--threads N]
//
// A folder is packed as the build packs it (GBK names, deflate or with
// --method zstd Zstandard, on all cores, one fixed time), so the same inputs give the same installer on
// either system; an archive is carried as it is. Either way the application
// is checked as the installer will read it, and the skin as the UI library
// will load it, before anything is written. An installer packed before can
// stand in for the stub: its blocks are replaced.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/archive_check.h"
#include "tools/folder_source.h"
#include "tools/installer_image.h"
#include "tools/pack_error.h"
#include "tools/skin_check.h"
#include "tools/zip_writer.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using namespace varnel::pack;
namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: varnel-pack --stub STUB.exe --app FOLDER|APP.zip [--skin FOLDER|SKIN.zip] --out SETUP.exe\n"
    "                   [--method deflate|zstd] [--threads N]";
// The UI package's entries carry what the build's carry: UTF-8 names with
// "\" folders, sizes after the data, deflate, its fixed time.
constexpr std::uint32_t kSkinFlags = 0x80C;
constexpr const char* kSkinDosTime = "2024-11-18 12:00:00";

struct Options {
    fs::path stub, app, skin, out;
    unsigned threads = 0;
    EntryMethod method = EntryMethod::Deflate;
};

Options ParseCommandLine(const std::vector<fs::path>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string arg = Shown(args[i]);
        if (i + 1 >= args.size()) throw PackError(arg == "--help" ? kUsage : arg + " needs a value\n" + kUsage);
        const fs::path& value = args[++i];
        if (arg == "--stub") options.stub = value;
        else if (arg == "--app") options.app = value;
        else if (arg == "--skin") options.skin = value;
        else if (arg == "--out") options.out = value;
        else if (arg == "--method") options.method = ParseMethod(Shown(value));
        else if (arg == "--threads") {
            const std::string text = Shown(value);
            if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
                throw PackError("--threads wants a number of threads, got " + text);
            options.threads = static_cast<unsigned>(std::stoul(text));
        } else {
            throw PackError("unknown option " + arg + "\n" + kUsage);
        }
    }
    if (options.stub.empty() || options.app.empty() || options.out.empty()) throw PackError(kUsage);
    return options;
}

void Say(const std::string& text) { std::fprintf(stderr, "varnel-pack: %s\n", text.c_str()); }

// The application's archive: a folder packed here, an archive as it is.
Bytes ApplicationArchive(const Options& options) {
    std::error_code error;
    if (!fs::is_directory(options.app, error)) return ReadWholeFile(options.app);
    const std::vector<ZipSource> entries = ScanFolder(options.app, NameForm::Gbk);
    if (std::none_of(entries.begin(), entries.end(), [](const ZipSource& e) { return e.name == "varnel.exe"; }))
        throw PackError(Shown(options.app) + " holds no varnel.exe: the installer starts and links varnel.exe from "
                        "the install folder, so the folder must have it at its top");
    ZipSettings settings;
    settings.dosStamp = ParseDosTime(kDefaultDosTime);
    settings.threads = options.threads;
    settings.method = options.method;
    return WriteZip(entries, settings);
}

Bytes SkinPackage(const Options& options) {
    std::error_code error;
    if (!fs::is_directory(options.skin, error)) return ReadWholeFile(options.skin);
    ZipSettings settings;
    settings.flags = kSkinFlags;
    settings.dosStamp = ParseDosTime(kSkinDosTime);
    settings.threads = options.threads;
    return WriteZip(ScanFolder(options.skin, NameForm::Utf8Backslashed), settings);
}

int Run(const std::vector<fs::path>& args) {
    const Options options = ParseCommandLine(args);
    const Bytes stub = ReadWholeFile(options.stub);
    try {
        ReadStubBlocks(stub);
    } catch (const PackError& e) {
        throw PackError(Shown(options.stub) + ": " + e.what());
    }

    const Bytes payload = ApplicationArchive(options);
    if (const auto problems = ArchiveProblems(payload); !problems.empty()) {
        for (const auto& p : problems) Say(Shown(options.app) + ": " + p);
        return 1;
    }
    Bytes skin;
    if (!options.skin.empty()) {
        skin = SkinPackage(options);
        const varnel::SkinReport report = varnel::CheckSkin(skin);
        for (const auto& w : report.warnings) Say(Shown(options.skin) + ": warning: " + w);
        if (!report.problems.empty()) {
            for (const auto& p : report.problems) Say(Shown(options.skin) + ": " + p);
            return 1;
        }
    }

    const PackedImage image = PackInstaller(stub, {skin, payload});
    WriteFileAtomically(options.out, image.parts);
    std::error_code error;  // a program like the stub (on Linux: its execute bits)
    fs::permissions(options.out, fs::status(options.stub, error).permissions(), error);
    if (image.signatureDropped)
        Say("the stub's signature does not cover the packed installer and was left out; sign " + Shown(options.out));
    Say("wrote " + Shown(options.out) + " (" + std::to_string(image.Size()) + " bytes, application archive " +
        std::to_string(payload.size()) + " bytes)");
    return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::vector<fs::path> args(argv + 1, argv + argc);
#else
int main(int argc, char** argv) {
    std::vector<fs::path> args(argv + 1, argv + argc);
#endif
    try {
        return Run(args);
    } catch (const PackError& e) {
        Say(e.what());
    } catch (const std::bad_alloc&) {
        Say("out of memory");
    }
    return 1;
}
