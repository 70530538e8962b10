#include "platform/paths.h"

#include <sddl.h>

#include <algorithm>

#include "platform/handles.h"
#include "startup/external.h"
#include "startup/program.h"
#include "startup/text.h"

namespace varnel {

namespace {

constexpr wchar_t kBackslash = L'\\';
constexpr const char* kExplorerAdvanced = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";

// LocalAlloc'd memory, given back with LocalFree.
struct LocalMemoryTraits {
    static HLOCAL Empty() { return nullptr; }
    static void Close(HLOCAL memory) { ext::LocalFree(memory); }
};
using LocalMemory = UniqueResource<HLOCAL, LocalMemoryTraits>;

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool EndsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view tail) {
    if (tail.size() > text.size()) return false;
    return std::equal(tail.begin(), tail.end(), text.end() - static_cast<std::ptrdiff_t>(tail.size()),
                      [](wchar_t a, wchar_t b) { return AsciiLower(a) == AsciiLower(b); });
}

}  // namespace

std::string Utf16ToText(std::wstring_view wide) {
    std::wstring terminated(wide);
    terminated.push_back(L'\0');
    if (ext::lstrlenW(terminated.c_str()) == 0) return {};
    const UINT codePage = static_cast<UINT>(ConversionCodePage());
    const int needed = ext::WideCharToMultiByte(codePage, 0, terminated.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string bytes(static_cast<size_t>(needed), '\0');
    ext::WideCharToMultiByte(codePage, 0, terminated.c_str(), -1, bytes.data(), needed, nullptr, nullptr);
    bytes.resize(bytes.find('\0') == std::string::npos ? bytes.size() : bytes.find('\0'));
    return bytes;
}

std::wstring CopyWideString(const wchar_t* string) {
    if (string == nullptr) return {};
    const int length = ext::lstrlenW(string);
    if (length <= 0) return {};
    return std::wstring(string, static_cast<size_t>(length) + 1);
}

std::string DropLastCharacters(std::string_view text, int count) {
    const std::wstring wide = TextToUtf16(text, true);
    const long long keep = static_cast<long long>(wide.size()) - count;
    if (keep <= 0) return {};
    return Utf16ToText(std::wstring_view(wide).substr(0, std::min<size_t>(static_cast<size_t>(keep), wide.size())));
}

bool CreateDirectoryTree(std::string_view path, const SECURITY_ATTRIBUTES* security,
                         std::vector<std::string>* created) {
    // A folder that exists refuses the create, and keeps its own security.
    auto make = [&](const wchar_t* folder) {
        if (ext::CreateDirectoryW(folder, const_cast<SECURITY_ATTRIBUTES*>(security)) && created)
            created->push_back(Utf16ToText(folder));
    };
    const std::wstring wide = TextToUtf16(path, false);  // with its terminator
    const size_t units = wide.size();
    // Fewer than three characters (8 bytes with the terminator): nothing to make.
    if (units * sizeof(wchar_t) >= 8) {
        LocalMemory memory(ext::LocalAlloc(LMEM_ZEROINIT, units * sizeof(wchar_t) + 2));
        auto* work = static_cast<wchar_t*>(memory.Get());
        int backslashes = 0;
        for (size_t i = 0; work != nullptr && i < units; ++i) {
            const wchar_t c = wide[i];
            if (c == L'\0') {
                make(work);
                break;
            }
            // The work buffer holds the path up to this backslash; the first
            // backslash follows the drive, which is never created.
            if (c == kBackslash) {
                if (backslashes > 0) make(work);
                ++backslashes;
            }
            work[i] = c;
        }
    }
    return IsDirectory(wide);
}

InstallFolderSecurity::InstallFolderSecurity() {
    attributes_.nLength = sizeof(attributes_);
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kInstallFolderSddl, SDDL_REVISION_1,
                                                              &attributes_.lpSecurityDescriptor, nullptr)) {
        attributes_.lpSecurityDescriptor = nullptr;
    }
}

InstallFolderSecurity::~InstallFolderSecurity() {
    if (attributes_.lpSecurityDescriptor) ext::LocalFree(attributes_.lpSecurityDescriptor);
}

bool IsDirectory(const std::wstring& path) {
    return ext::PathIsDirectoryW(WidePointer(path)) == FILE_ATTRIBUTE_DIRECTORY;
}

std::wstring TitleWithExtension(std::wstring title, std::wstring_view extension) {
    // The extension comes back only when the title really lacks it: some
    // systems (Wine among them) never strip it, and Explorer shows the
    // extensions of unknown types even with the setting on.
    if (!extension.empty() && !EndsWithIgnoringAsciiCase(title, extension)) title.append(extension);
    return title;
}

std::string FileTitle(std::string_view path) {
    const std::wstring wide = TextToUtf16(path, false);
    constexpr WORD kTitleCapacity = 32767;  // characters
    std::wstring buffer(32768, L'\0');     // 65536 zero bytes
    const auto result = static_cast<short>(ext::GetFileTitleW(WidePointer(wide), buffer.data(), kTitleCapacity));
    if (result != 0) return {};
    std::wstring title(buffer.c_str());

    const DWORD attributes = ext::GetFileAttributesW(WidePointer(wide));
    // A missing path reads as all bits set, so it is taken like a directory.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        const bool wow64 = Is64BitWindows();
        if (ReadRegistryDword(HKEY_CURRENT_USER, kExplorerAdvanced, "HideFileExt", wow64) == 1) {
            const std::wstring extension = CopyWideString(ext::PathFindExtensionW(wide.c_str()));
            title = TitleWithExtension(std::move(title), std::wstring_view(extension.c_str()));
        }
    }
    return Utf16ToText(title);
}

bool Is64BitWindows() {
    // A 64-bit process runs on 64-bit Windows only; there the WoW64 directory
    // call answers for the 32-bit side, which need not be installed.
    if constexpr (sizeof(void*) == 8) return true;
    HMODULE kernel = ext::GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return false;
    FARPROC address = ext::GetProcAddress(kernel, "GetSystemWow64DirectoryA");
    auto* function = reinterpret_cast<ext::GetSystemWow64DirectoryA_t*>(reinterpret_cast<void (*)()>(address));
    if (function == nullptr) return false;
    std::string buffer(255, ' ');
    return function(buffer.data(), 255) > 0;
}

std::uint32_t ReadRegistryDword(HKEY root, std::string_view subkey, std::string_view valueName,
                                bool use64BitView) {
    if (root == nullptr) return 0;
    const REGSAM access = KEY_QUERY_VALUE | (use64BitView ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
    RegistryKey key;
    const std::wstring wideSubkey = TextToUtf16(subkey, false);
    if (ext::RegOpenKeyExW(root, WidePointer(wideSubkey), 0, access, key.Put()) != ERROR_SUCCESS) return 0;
    const std::wstring name = TextToUtf16(valueName, false);
    DWORD type = 0;
    DWORD size = 0;
    if (ext::RegQueryValueExW(key.Get(), WidePointer(name), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return 0;
    // Never more than the 4 bytes of the variable: a longer value fails the
    // read (ERROR_MORE_DATA) and yields 0.
    DWORD value = 0;
    size = sizeof(value);
    if (ext::RegQueryValueExW(key.Get(), WidePointer(name), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                              &size) != ERROR_SUCCESS) {
        return 0;
    }
    return value;
}

bool IsCharacterStart(std::string_view text, size_t offset) {
    size_t i = 0;
    while (i < offset && i < text.size()) {
        i += (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
    }
    return i == offset;
}

bool EndsWithBackslash(std::string_view text) {
    return !text.empty() && text.back() == '\\' && IsCharacterStart(text, text.size() - 1);
}

}  // namespace varnel
