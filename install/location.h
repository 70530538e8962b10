// Where the application goes: the default location, the browse handler and
// the tests and final form of a typed location.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace varnel {

std::string LoadDefaultInstallDirectory();
std::string DriveDefaultDirectory();
int ListDriveLetters(std::vector<std::string>& letters);
void BrowseForInstallDirectory();
bool HasSpecialCharacters(std::string_view text);
bool IsValidInstallLocation(std::string_view text);
std::string FinaliseInstallDirectory(std::string_view text);
int FindText(std::string_view text, std::string_view pattern, int start = 1, bool foldCase = false);

}  // namespace varnel
