// Where the application goes: the default location, the browse handler and
// the tests and final form of a typed location.
#pragma once

// commdlg.h names its FindTextA macro FindText; take it in first and drop
// the macro so ours keeps its name.
#include <windows.h>
#include <commdlg.h>
#undef FindText

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// The recorded location, else the drive default (may be empty).
std::string LoadDefaultInstallDirectory();

// The second drive's letter + ":\varnel" (the only one's when there is one
// drive); empty without drives.
std::string DriveDefaultDirectory(const std::vector<std::string>& letters);

// What the default folder asks of a drive, by its letter.
enum class DriveType { Fixed, Removable, Optical, Other };
struct DriveProbe {
    std::function<DriveType(char)> type;
    std::function<bool(char)> hasMedia;  // asked of removable and optical drives only
};

// The default among the drives that can hold an install: the second fixed
// drive; with one fixed drive, a removable drive with media when it is the
// only other drive with media, else that fixed drive; without fixed drives,
// the rule above. (An empty DVD drive or card reader as D: would otherwise
// be the default and fail the quick install.)
std::string DriveDefaultDirectory(const std::vector<std::string>& letters, const DriveProbe& probe);
// The same for this machine's drives.
std::string DriveDefaultDirectory();

// Fills `letters` with one text per logical drive (its letter) and returns
// their number; 0 leaves `letters` as it was.
int ListDriveLetters(std::vector<std::string>& letters);

// The drive letters of a GetLogicalDriveStringsA answer (its first `length`
// bytes).
std::vector<std::string> DriveLettersFromRoots(std::string_view roots);

// Handler of the browse button: picks a folder and puts the location made
// from it into the edit box.
void BrowseForInstallDirectory();

// A picked folder made into an install location: \varnel appended unless it
// is the last component already, doubled backslashes made single once.
std::string InstallDirectoryFromPick(std::string_view picked);

// True when the text holds a space or a hyphen.
bool HasSpecialCharacters(std::string_view text);

// Drive letter first, and a ":\" or ":/" somewhere.
bool IsValidInstallLocation(std::string_view text);

// The directory the run installs into: ends in a folder named varnel, no
// trailing backslash, no backslash doubled.
std::string FinaliseInstallDirectory(std::string_view text);

// 1-based byte position of the first occurrence of `pattern` at or after
// `start` that begins a character, or -1.
int FindText(std::string_view text, std::string_view pattern, int start = 1, bool foldCase = false);

// One left-to-right pass replacing each "\\" by "\" (never inside a
// double-byte character).
std::string ReplaceDoubleBackslashes(std::string_view text);

}  // namespace varnel
