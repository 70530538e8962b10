#include "startup/deploy.h"

#include <windows.h>

#include <algorithm>

#include "platform/handles.h"
#include "startup/embedded.h"
#include "startup/external.h"
#include "startup/program.h"
#include "startup/text.h"
#include "ui/window.h"

namespace varnel {
namespace {

bool FileHoldsExactly(const std::string& path, std::span<const std::uint8_t> image) {
    const std::wstring wide = TextToUtf16(path, false);
    const FileHandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    bool same = GetFileSizeEx(file.Get(), &size) && static_cast<std::uint64_t>(size.QuadPart) == image.size();
    Bytes chunk(1 << 16);
    for (size_t done = 0; same && done < image.size();) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min(chunk.size(), image.size() - done));
        same = ReadFile(file.Get(), chunk.data(), want, &read, nullptr) && read == want &&
               std::equal(chunk.begin(), chunk.begin() + read, image.begin() + static_cast<std::ptrdiff_t>(done));
        done += read;
    }
    return same;
}

}  // namespace

bool EnsureUiLibraryFile(const std::string& path, std::span<const std::uint8_t> image) {
    // A file that is already ours is never rewritten; a foreign one is
    // replaced, since the elevated installer would otherwise run its code.
    if (FileExists(path) && FileHoldsExactly(path, image)) return true;
    return WriteBufferToFile(path, image) && FileHoldsExactly(path, image);
}

void DeployUiLibrary() {
    const std::string path = JoinTexts(ProgramDirectory(), "\\XCGUI.dll");
    if (!EnsureUiLibraryFile(path, UiLibraryImage())) ext::SetUiLibraryTrusted(false);

    UiPackageRecord& record = Program().uiPackage;
    record.password = ToWide("");  // the first call into the UI library binds it
    const auto block = UiPackageBlock();
    record.package = Bytes(block.begin(), block.end());
    record.address = record.package.data();
    record.length = static_cast<int>(record.package.size());
}

}  // namespace varnel
