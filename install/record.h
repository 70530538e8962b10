// The install path record in the user's Documents folder.
#pragma once

#include <string>
#include <string_view>

namespace varnel {

inline constexpr int kDocumentsFolder = 1;
inline constexpr int kDesktopFolder = 3;

// The folder's path with a trailing backslash, or empty when the lookup
// fails or the kind is unknown.
std::string SpecialFolderPath(int kind);

// Documents\varnel_install_path.txt (the bare name when Documents is unknown).
std::string InstallPathRecordPath();

// Replaces the record with the directory's bytes; nothing else is written.
bool WriteInstallPathRecord(std::string_view directory);

// The recorded text up to its first zero byte; empty when the file is
// missing, empty or unreadable.
std::string ReadInstallPathRecord();

}  // namespace varnel
