#include "install/record.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/file.h"
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

// The record's path is ANSI text, as the folder lookups give it.
std::wstring RecordPathForCalls() { return FilePathForCalls(AnsiTextToUtf16(InstallPathRecordPath())); }

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
    const std::wstring path = RecordPathForCalls();
    OutFile file;
    if (!file.Create(path, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL)) return false;
    const bool ok = file.WriteAll(directory.data(), directory.size());
    if (!ok) {
        // A half-written record would be proposed next time: leave none.
        file.Close();
        DeleteFileW(path.c_str());
    }
    return ok;
}

std::string ReadInstallPathRecord() {
    InFile file;
    if (!file.Open(RecordPathForCalls(), FILE_SHARE_READ, FILE_ATTRIBUTE_NORMAL)) return {};
    std::string text;
    char chunk[4096];
    for (;;) {
        DWORD got = 0;
        if (!file.ReadChunk(chunk, sizeof(chunk), got)) return {};  // unreadable
        if (got == 0) break;
        const std::string_view piece(chunk, got);
        const size_t zero = piece.find('\0');
        text.append(piece.substr(0, zero));
        if (zero != std::string_view::npos) break;  // the text ends at its first zero byte
    }
    return text;
}

}  // namespace varnel
