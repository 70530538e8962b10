// Conversions back from UTF-16, directory creation and path tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// GBK text of a UTF-16 text, up to its first 0 character. Characters that
// GBK cannot hold come out as the code page's default character.
std::string Utf16ToText(std::wstring_view wide);

// Copy of a 0-terminated string that Windows or a shell object returned,
// terminator included; empty for null or an empty string.
std::wstring CopyWideString(const wchar_t* string);

// The text without its last `count` UTF-16 characters (a Chinese character
// counts once).
std::string DropLastCharacters(std::string_view text, int count);

// Creates the directory and every missing one above it, one level per
// backslash. True when the path is a directory afterwards. The folders it
// makes get `security` (none: what their parent passes on); folders that
// exist keep theirs. `created`, when given, receives each folder it made,
// outermost first.
bool CreateDirectoryTree(std::string_view path, const SECURITY_ATTRIBUTES* security = nullptr,
                         std::vector<std::string>* created = nullptr);

// What the folders an installation creates are given, as Windows gives its
// own program folder: full control for SYSTEM and Administrators, read and
// execute for Users, passed on to everything inside, and nothing inherited
// from the drive above, whose root lets every user write.
inline constexpr wchar_t kInstallFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// The security attributes of kInstallFolderSddl, owned; Get() is null when
// the descriptor could not be made.
class InstallFolderSecurity {
public:
    InstallFolderSecurity();
    ~InstallFolderSecurity();
    InstallFolderSecurity(const InstallFolderSecurity&) = delete;
    InstallFolderSecurity& operator=(const InstallFolderSecurity&) = delete;
    const SECURITY_ATTRIBUTES* Get() const { return attributes_.lpSecurityDescriptor ? &attributes_ : nullptr; }

private:
    SECURITY_ATTRIBUTES attributes_{};
};

// True when the path names a directory.
bool IsDirectory(const std::wstring& path);

// The path's last component as the shell shows it, with its extension even
// when Explorer hides extensions; empty when no title can be taken (a path
// ending in a backslash, for one).
std::string FileTitle(std::string_view path);

// The title with the extension put back when it lacks it.
std::wstring TitleWithExtension(std::wstring title, std::wstring_view extension);

bool Is64BitWindows();

// A 32-bit registry value; 0 when the key or value is missing or does not
// fit into 4 bytes.
std::uint32_t ReadRegistryDword(HKEY root, std::string_view subkey, std::string_view valueName,
                                bool use64BitView);

// GBK: a byte that starts a two-byte character.
inline bool IsLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

// Byte offsets at which the characters of a GBK text begin.
bool IsCharacterStart(std::string_view text, size_t offset);

// True when the last character of the text is a backslash (not the second
// byte of a double-byte character).
bool EndsWithBackslash(std::string_view text);

}  // namespace varnel
