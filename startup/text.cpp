#include "startup/text.h"

#include <windows.h>

#include "platform/file.h"
#include "platform/handles.h"
#include "startup/external.h"
#include "startup/program.h"

namespace varnel {

std::string ExactAnsiText(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int length = static_cast<int>(wide.size());
    const int size = ext::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    BOOL approximated = FALSE;
    if (ext::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, text.data(), size, nullptr, &approximated) != size ||
        approximated)
        return {};
    return text;
}

std::wstring AnsiTextToUtf16(std::string_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int size = ext::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (size <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ext::MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), size);
    return wide;
}

std::wstring TextToUtf16(std::string_view text, bool dropTerminator) {
    const std::string bytes(text);  // ends in its own 0 byte
    if (ext::strlen_(bytes.c_str()) == 0) return {};
    const int needed = ext::MultiByteToWideChar(ConversionCodePage(), 0, bytes.c_str(), -1, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    ext::MultiByteToWideChar(ConversionCodePage(), 0, bytes.c_str(), -1, wide.data(), needed);
    if (dropTerminator) wide.resize(wcsnlen(wide.c_str(), wide.size()));
    return wide;
}

Bytes CutAtWideNul(std::span<const std::uint8_t> buffer, bool appendTerminator) {
    const size_t n = buffer.size();
    if (n < 2) return {};
    size_t i = 0;
    while (i + 2 <= n && (buffer[i] | buffer[i + 1]) != 0) i += 2;
    if (i == 0 || i > n) return {};
    Bytes cut(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(i));
    if (appendTerminator) cut.insert(cut.end(), {0, 0});
    return cut;
}

Bytes WideBytes(const std::wstring& wide) {
    const auto* first = reinterpret_cast<const std::uint8_t*>(wide.data());
    return Bytes(first, first + wide.size() * sizeof(wchar_t));
}

bool FileExists(std::string_view path) {
    const std::wstring wide = FilePathForCalls(path);
    WIN32_FIND_DATAW found{};
    const FindHandle search(ext::FindFirstFileW(WidePointer(wide), &found));
    if (!search) return false;
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool WriteBufferToFile(std::string_view path, std::span<const std::uint8_t> bytes) {
    if (path.empty()) return false;
    OutFile file;
    return file.Create(FilePathForCalls(path), 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL) &&
           file.WriteAll(bytes.data(), bytes.size());
}

}  // namespace varnel
