#include "install/location.h"

#include <windows.h>

#include <algorithm>

#include "install/record.h"
#include "platform/folder_picker.h"
#include "platform/paths.h"
#include "startup/external.h"
#include "startup/program.h"
#include "startup/text.h"
#include "ui/element_names.h"
#include "ui/pages.h"

namespace varnel {

namespace {

constexpr std::string_view kFolderName = "varnel";
constexpr std::string_view kFolderSuffix = "\\varnel";
constexpr std::string_view kDriveSuffix = ":\\varnel";
constexpr DWORD kDriveBufferSize = 255;

}  // namespace

std::string LoadDefaultInstallDirectory() {
    // A recorded location is shown as it was written, not tested.
    std::string recorded = ReadInstallPathRecord();
    if (!recorded.empty()) return recorded;
    return DriveDefaultDirectory();
}

std::string DriveDefaultDirectory(const std::vector<std::string>& letters) {
    if (letters.empty()) return {};
    // The second drive when there are several: the first is normally the
    // system drive.
    const std::string& letter = letters.size() == 1 ? letters[0] : letters[1];
    return JoinTexts(letter, kDriveSuffix);
}

std::string DriveDefaultDirectory(const std::vector<std::string>& letters, const DriveProbe& probe) {
    std::vector<char> fixed;
    for (const std::string& letter : letters)
        if (probe.type(letter[0]) == DriveType::Fixed) fixed.push_back(letter[0]);
    if (fixed.size() >= 2) return JoinTexts(std::string(1, fixed[1]), kDriveSuffix);
    if (fixed.empty()) return DriveDefaultDirectory(letters);
    // Network and other drives count as having media: asking a disconnected
    // share would hold the first paint.
    std::vector<char> othersWithMedia;
    bool removable = false;
    for (const std::string& letter : letters) {
        if (letter[0] == fixed[0]) continue;
        const DriveType type = probe.type(letter[0]);
        if (type == DriveType::Other || probe.hasMedia(letter[0])) {
            othersWithMedia.push_back(letter[0]);
            removable = type == DriveType::Removable;
        }
    }
    const char chosen = othersWithMedia.size() == 1 && removable ? othersWithMedia[0] : fixed[0];
    return JoinTexts(std::string(1, chosen), kDriveSuffix);
}

std::string DriveDefaultDirectory() {
    std::vector<std::string> letters;
    ListDriveLetters(letters);
    const auto root = [](char letter) { return std::string(1, letter) + ":\\"; };
    const DriveProbe probe{
        [&root](char letter) {
            switch (GetDriveTypeA(root(letter).c_str())) {
            case DRIVE_FIXED: return DriveType::Fixed;
            case DRIVE_REMOVABLE: return DriveType::Removable;
            case DRIVE_CDROM: return DriveType::Optical;
            default: return DriveType::Other;
            }
        },
        [&root](char letter) {
            // No "insert a disk" box for an empty drive: an empty one just
            // has no media.
            DWORD previous = 0;
            SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
            const bool ready = GetVolumeInformationA(root(letter).c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                                                     nullptr, 0) != FALSE;
            SetThreadErrorMode(previous, nullptr);
            return ready;
        }};
    return DriveDefaultDirectory(letters, probe);
}

std::vector<std::string> DriveLettersFromRoots(std::string_view roots) {
    std::vector<std::string> letters;
    size_t start = 0;
    while (start < roots.size()) {
        const size_t end = std::min(roots.find('\0', start), roots.size());
        if (end > start) letters.emplace_back(1, roots[start]);
        start = end + 1;
    }
    return letters;
}

int ListDriveLetters(std::vector<std::string>& letters) {
    char buffer[kDriveBufferSize] = {};
    const DWORD length = ext::GetLogicalDriveStringsA(kDriveBufferSize, buffer);
    if (length == 0) return 0;
    // An answer longer than the buffer reports the size it needs and leaves
    // the buffer as it was.
    letters = DriveLettersFromRoots(std::string_view(buffer, std::min(length, kDriveBufferSize)));
    return static_cast<int>(letters.size());
}

std::string InstallDirectoryFromPick(std::string_view picked) {
    std::string directory(picked);
    if (FileTitle(directory) != kFolderName) directory.append(kFolderSuffix);
    // A root comes back with its backslash: D:\ + \varnel.
    return ReplaceDoubleBackslashes(directory);
}

void BrowseForInstallDirectory() {
    const std::string picked = PickFolder("选择安装目录", Program().window.GetHWND());
    if (picked.empty()) return;  // cancelled
    Program().installDirectory = InstallDirectoryFromPick(picked);
    SetEditText(element_names::kLocationEdit, Program().installDirectory, false);
}

bool HasSpecialCharacters(std::string_view text) {
    return FindText(text, " ") != -1 || FindText(text, "-") != -1;
}

bool IsValidInstallLocation(std::string_view text) {
    if (text.empty()) return false;
    unsigned char first = static_cast<unsigned char>(text[0]);
    if (first >= 'a' && first <= 'z') first = static_cast<unsigned char>(first - 'a' + 'A');
    const auto letter = static_cast<signed char>(first);
    if (letter < 'A' || letter > 'Z') return false;
    return FindText(text, ":\\") != -1 || FindText(text, ":/") != -1;
}

std::string FinaliseInstallDirectory(std::string_view text) {
    std::string directory(text);
    if (FileTitle(directory) != kFolderName) directory.append(kFolderSuffix);
    if (EndsWithBackslash(directory)) directory = DropLastCharacters(directory, 1);
    // Repeated passes collapse runs of any length.
    for (std::string next = ReplaceDoubleBackslashes(directory); next != directory;
         next = ReplaceDoubleBackslashes(directory)) {
        directory = std::move(next);
    }
    return directory;
}

int FindText(std::string_view text, std::string_view pattern, int start, bool foldCase) {
    if (text.empty() || pattern.empty()) return -1;
    std::string haystack(text);
    std::string needle(pattern);
    if (foldCase) {
        ext::strlwr_(haystack.data());
        ext::strlwr_(needle.data());
    }
    const size_t from = start <= 1 ? 0 : static_cast<size_t>(start) - 1;
    if (from >= haystack.size()) return -1;
    const char* base = haystack.c_str();
    // A byte match that begins inside a double-byte character is no match.
    for (const char* found = ext::strstr_(base + from, needle.c_str()); found != nullptr;
         found = ext::strstr_(found + 1, needle.c_str())) {
        const size_t offset = static_cast<size_t>(found - base);
        if (IsCharacterStart(haystack, offset)) return static_cast<int>(offset) + 1;
    }
    return -1;
}

std::string ReplaceDoubleBackslashes(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (IsLeadByte(byte) && i + 1 < text.size()) {
            result.append(text.substr(i, 2));
            i += 2;
        } else if (byte == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            result.push_back('\\');
            i += 2;
        } else {
            result.push_back(text[i]);
            ++i;
        }
    }
    return result;
}

}  // namespace varnel
