#include "tools/archive_check.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "install/entry_data.h"
#include "install/entry_rules.h"
#include "install/zip_entry.h"
#include "install/zip_memory_io.h"
#include "tools/folder_source.h"
#include "tools/zip_writer.h"

namespace varnel::pack {
namespace {

constexpr std::size_t kMostProblems = 20;

std::string Folded(std::string_view name) {
    std::string out(name);
    std::replace(out.begin(), out.end(), '\\', '/');
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::vector<std::string> ArchiveProblems(std::span<const std::uint8_t> archive, ArchiveUse use) {
    const bool payload = use == ArchiveUse::Payload;
    std::vector<std::string> problems;
    if (archive.size() > kMaxArchiveSize) return {"the archive is larger than " + std::string(kArchiveLimit)};
    MemoryZipStream stream{archive};
    const unzFile zip = OpenMemoryZip(stream);
    if (!zip) return {"not a ZIP archive the installer can open (damaged, cut short, or another format)"};
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(zip, &global) != UNZ_OK) {
        unzClose(zip);
        return {"its central directory cannot be read"};
    }
    std::vector<std::uint8_t> buffer(1 << 16);
    std::set<std::string> seen;
    std::unique_ptr<ZstdDecoder> zstd;
    bool hasMain = false;
    int status = unzGoToFirstFile(zip);
    for (std::uint64_t i = 0; i < global.number_entry && problems.size() < kMostProblems;
         ++i, status = unzGoToNextFile(zip)) {
        ZipEntry entry;
        if (status != UNZ_OK || !ReadCurrentEntry(zip, archive, entry)) {
            problems.push_back("entry " + std::to_string(i + 1) +
                               " cannot be read (its headers are damaged or do not agree)");
            break;
        }
        const std::string& name = entry.storedName;
        const std::string label = "entry \"" + name + "\": ";
        const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        std::string problem;
        if (entry.flags & 1) problem = "encrypted; the installer carries no password";
        else if (!IsReadableMethod(entry.method))
            problem = "compression method " + std::to_string(entry.method) +
                      "; only stored (0), deflate (8) and Zstandard (93) can be read";
        else if (entry.uncompressedSize > kMaxEntrySize || entry.compressedSize > kMaxEntrySize)
            problem = std::string("larger than ") + kEntryLimit;
        else if (!payload) problem.clear();
        else if ((entry.flags & 0x800) && !ascii)
            problem = "name marked UTF-8 (flag bit 11), but the installer reads names as GBK bytes; "
                      "store GBK names or pack the folder instead";
        else if (problem = EntryNameProblem(name, kShortestInstallFolder); problem.empty() &&
                 !seen.insert(Folded(name)).second)
            problem = "a second entry of this name (Windows names ignore case): one would overwrite the other";
        if (!problem.empty()) {
            problems.push_back(label + problem);
            continue;
        }
        if (Folded(name) == "varnel.exe") hasMain = true;
        // Decoding every entry checks its data and CRC as the installer will.
        EntryData data(zip, archive, zstd);
        if (!data.Open(entry)) {
            problems.push_back(label + "its data cannot be opened");
            continue;
        }
        int read;
        while ((read = data.Read(buffer.data(), static_cast<unsigned>(buffer.size()))) > 0) {
        }
        if (read < 0 || !data.Finish())
            problems.push_back(label + "its data is corrupt or cut short (decoding, size or CRC failed)");
    }
    unzClose(zip);
    if (payload && problems.empty() && !hasMain)
        problems.push_back("no varnel.exe at the top level: the installer starts and links varnel.exe from the install folder");
    return problems;
}

}  // namespace varnel::pack
