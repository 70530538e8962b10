// Files read and written whole or in chunks. Each class owns its handle; a
// transfer is split so that no single call is asked for more than a DWORD
// counts (and no more than kMaxFileChunk, which network drives cope with).
// Nothing here throws: a call that fails returns false and leaves the reason
// in GetLastError.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/handles.h"

namespace varnel {

// The path as the wide file functions take it. Near MAX_PATH it goes in the
// \\?\ form, since folders stop at MAX_PATH - 12 characters otherwise.
// `besideName` is the length of a name that will be made in the same folder
// (a temporary file beside a target), which may be longer than the path's
// own. A path already in the \\?\ form is returned as it is.
std::wstring FilePathForCalls(std::wstring path, std::size_t besideName = 0);
// The same for a GBK path.
std::wstring FilePathForCalls(std::string_view path, std::size_t besideName = 0);

inline constexpr DWORD kMaxFileChunk = 1u << 20;

// An existing file opened for reading.
class InFile {
public:
    // `path` as FilePathForCalls gives it; `share` and `flags` go to
    // CreateFileW as they are.
    bool Open(const std::wstring& path, DWORD share, DWORD flags = 0);
    bool GetSize(std::uint64_t& size) const;
    // One read of up to `size` bytes; `got` is 0 at the end of the file.
    bool ReadChunk(void* data, std::size_t size, DWORD& got);
    // Exactly `size` bytes; false when the file ends before
    // (ERROR_HANDLE_EOF) or a read fails.
    bool ReadAll(void* data, std::size_t size);

    explicit operator bool() const { return static_cast<bool>(handle_); }
    HANDLE Get() const { return handle_.Get(); }
    // The handle, still open, for a caller that keeps the file held.
    FileHandle Release() { return std::move(handle_); }

private:
    FileHandle handle_;
};

// A file opened for writing.
class OutFile {
public:
    // `path` as FilePathForCalls gives it; the rest goes to CreateFileW as
    // it is, with GENERIC_WRITE access.
    bool Create(const std::wstring& path, DWORD share, DWORD disposition, DWORD attributesAndFlags);
    // All bytes or false. A write that reports success but takes fewer
    // bytes than asked is a full disk: ERROR_DISK_FULL.
    bool WriteAll(const void* data, std::size_t size);

    explicit operator bool() const { return static_cast<bool>(handle_); }
    HANDLE Get() const { return handle_.Get(); }
    void Close() { handle_.Reset(); }

private:
    FileHandle handle_;
};

}  // namespace varnel
