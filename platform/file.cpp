#include "platform/file.h"

#include <algorithm>

#include "startup/text.h"

namespace varnel {

std::wstring FilePathForCalls(std::wstring path, std::size_t besideName) {
    if (path.starts_with(L"\\\\?\\")) return path;
    std::size_t longest = path.size();
    if (besideName > 0) {
        const std::size_t cut = path.find_last_of(L"\\/");
        longest = std::max(longest, (cut == std::wstring::npos ? 0 : cut + 1) + besideName);
    }
    if (longest < MAX_PATH - 12) return path;
    std::wstring full(32768, L'\0');
    const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size()) return path;
    full.resize(n);
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring FilePathForCalls(std::string_view path, std::size_t besideName) {
    return FilePathForCalls(TextToUtf16(path, true), besideName);
}

bool InFile::Open(const std::wstring& path, DWORD share, DWORD flags) {
    handle_.Reset();  // before the call, so its error is the one left
    handle_.Reset(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, flags, nullptr));
    return static_cast<bool>(handle_);
}

bool InFile::GetSize(std::uint64_t& size) const {
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(handle_.Get(), &value)) return false;
    size = static_cast<std::uint64_t>(value.QuadPart);
    return true;
}

bool InFile::ReadChunk(void* data, std::size_t size, DWORD& got) {
    got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, kMaxFileChunk));
    return ReadFile(handle_.Get(), data, chunk, &got, nullptr) != FALSE;
}

bool InFile::ReadAll(void* data, std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        DWORD got = 0;
        if (!ReadChunk(bytes, size, got)) return false;
        if (got == 0) {
            SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        bytes += got;
        size -= got;
    }
    return true;
}

bool OutFile::Create(const std::wstring& path, DWORD share, DWORD disposition, DWORD attributesAndFlags) {
    handle_.Reset();
    handle_.Reset(CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, disposition, attributesAndFlags, nullptr));
    return static_cast<bool>(handle_);
}

bool OutFile::WriteAll(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, kMaxFileChunk));
        DWORD written = 0;
        if (!WriteFile(handle_.Get(), bytes, chunk, &written, nullptr)) return false;
        if (written != chunk) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        bytes += chunk;
        size -= chunk;
    }
    return true;
}

}  // namespace varnel
