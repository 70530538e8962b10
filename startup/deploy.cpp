#include "startup/deploy.h"

#include <windows.h>

#include <algorithm>

#include "platform/file.h"
#include "platform/handles.h"
#include "startup/embedded.h"
#include "startup/external.h"
#include "startup/program.h"
#include "startup/runtime_error.h"
#include "startup/text.h"
#include "ui/window.h"

namespace varnel {
namespace {

// The file opened for reading and compared with the image; the handle is
// returned open when they match.
FileHandle OpenIfHoldsExactly(const std::string& path, std::span<const std::uint8_t> image) {
    InFile file;
    if (!file.Open(FilePathForCalls(path), FILE_SHARE_READ)) return {};
    std::uint64_t size = 0;
    bool same = file.GetSize(size) && size == image.size();
    Bytes chunk(1 << 16);
    for (size_t done = 0; same && done < image.size();) {
        const size_t want = std::min(chunk.size(), image.size() - done);
        same = file.ReadAll(chunk.data(), want) &&
               std::equal(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(want),
                          image.begin() + static_cast<std::ptrdiff_t>(done));
        done += want;
    }
    if (!same) return {};
    return file.Release();
}

// The verified library stays open from its check to the end of the process:
// the folder beside a downloaded installer is writable by any program.
FileHandle gHeldLibrary;

}  // namespace

bool LooksLikePeImage(std::span<const std::uint8_t> image) {
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') return false;
    const std::size_t at = image[0x3C] | image[0x3D] << 8 | image[0x3E] << 16 | std::size_t{image[0x3F]} << 24;
    return at <= image.size() - 4 && image[at] == 'P' && image[at + 1] == 'E' && image[at + 2] == 0 &&
           image[at + 3] == 0;
}

FileHandle EnsureUiLibraryFile(const std::string& path, std::span<const std::uint8_t> image) {
    // A file that is already ours is never rewritten; a foreign one is
    // replaced, since the elevated installer would otherwise run its code.
    if (FileExists(path))
        if (FileHandle held = OpenIfHoldsExactly(path, image)) return held;
    if (!WriteBufferToFile(path, image)) return {};
    return OpenIfHoldsExactly(path, image);
}

void DeployUiLibrary() {
    const auto image = UiLibraryImage();
    // A broken build must not put an empty or stand-in file where a working
    // library may lie.
    if (!LooksLikePeImage(image)) RuntimeError("安装程序内置的界面库已损坏，请重新下载安装程序。", 0, 0, 0);
    // Without a folder of its own (a path the system could not give whole, or
    // one the ANSI code page cannot name) nothing is written or loaded: the
    // first call into the library then ends in the runtime error box.
    const bool placed = !ProgramDirectory().empty() &&
                        (gHeldLibrary = EnsureUiLibraryFile(JoinTexts(ProgramDirectory(), "\\XCGUI.dll"), image));
    if (!placed) ext::SetUiLibraryTrusted(false);

    UiPackageRecord& record = Program().uiPackage;
    record.password = ToWide("");  // the first call into the UI library binds it
    const auto block = UiPackageBlock();
    record.package = Bytes(block.begin(), block.end());
    record.address = record.package.data();
    record.length = static_cast<int>(record.package.size());
}

}  // namespace varnel
