#include "install/record.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/shell_user.h"
#include "startup/text.h"

namespace varnel {

namespace {

constexpr std::string_view kRecordName = "varnel_install_path.txt";

// The folder of the desktop shell's user (the person installing, also when
// another account's password elevated the installer); empty when there is
// no shell or the code page cannot name the path exactly.
std::string ShellUserFolder(int folder) {
    const KernelHandle token = ShellUserToken();
    if (!token) return {};
    wchar_t wide[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, folder, token.Get(), SHGFP_TYPE_CURRENT, wide))) return {};
    return ExactAnsiText(wide);
}

}  // namespace

std::string SpecialFolderPath(int kind) {
    int folder = 0;
    switch (kind) {
        case kDocumentsFolder: folder = CSIDL_PERSONAL; break;
        case kDesktopFolder: folder = CSIDL_DESKTOPDIRECTORY; break;
        default: return {};
    }
    std::string path = ShellUserFolder(folder);
    if (path.empty()) {
        char buffer[MAX_PATH] = {};
        if (!SHGetSpecialFolderPathA(nullptr, buffer, folder, FALSE)) return {};
        path = buffer;
    }
    if (!path.empty() && !EndsWithBackslash(path)) path.push_back('\\');
    return path;
}

std::string InstallPathRecordPath() { return JoinTexts(SpecialFolderPath(kDocumentsFolder), kRecordName); }

bool WriteInstallPathRecord(std::string_view directory) {
    const std::string path = InstallPathRecordPath();
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) return false;
    DWORD written = 0;
    const bool ok = directory.empty() ||
                    (WriteFile(file.Get(), directory.data(), static_cast<DWORD>(directory.size()), &written, nullptr) &&
                     written == directory.size());
    if (!ok) {
        // A half-written record would be proposed next time: leave none.
        file.Reset();
        DeleteFileA(path.c_str());
    }
    return ok;
}

std::string ReadInstallPathRecord() {
    const std::string path = InstallPathRecordPath();
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    std::string text;
    char chunk[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), chunk, sizeof(chunk), &got, nullptr)) return {};  // unreadable
        if (got == 0) break;
        const std::string_view piece(chunk, got);
        const size_t zero = piece.find('\0');
        text.append(piece.substr(0, zero));
        if (zero != std::string_view::npos) break;  // the text ends at its first zero byte
    }
    return text;
}

}  // namespace varnel
