#include "zip_memory.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cstring>
#include <cwctype>

#include <unzip.h>

#include "install/zip_memory_io.h"

#include "resources.h"

namespace xcgui {

namespace {

// Entries larger than this are refused: the UI package is small, and a
// hostile size field must not make us allocate gigabytes.
constexpr uLong kMaxEntrySize = 64u << 20;

std::wstring Normalised(std::wstring s) {
    for (auto& ch : s) ch = ch == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(ch));
    return s;
}

std::wstring EntryName(const char* raw, bool utf8) {
    if (utf8) return Utf8ToWide(raw);
#ifdef _WIN32
    const int n = MultiByteToWideChar(CP_ACP, 0, raw, -1, nullptr, 0);
    std::wstring out(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, raw, -1, out.data(), n);
    out.resize(std::wcslen(out.c_str()));
    return out;
#else
    // No ANSI code page here (the packer's check on the build machine):
    // each byte stands for itself, so ASCII names read as on Windows.
    std::wstring out;
    for (const char* p = raw; *p; ++p) out.push_back(static_cast<unsigned char>(*p));
    return out;
#endif
}

}  // namespace

struct ZipPackage::Memory {
    varnel::MemoryZipStream stream;
};

ZipPackage::ZipPackage(const void* data, std::size_t length, const std::wstring& password)
    : password_(WideToUtf8(password)) {
    if (!data || length < 22 || length > 0x7FFFFFFF) return;
    memory_ = std::make_unique<Memory>();
    memory_->stream = varnel::MemoryZipStream{{static_cast<const std::uint8_t*>(data), length}};
    zip_ = varnel::OpenMemoryZip(memory_->stream);
    if (!zip_) return;
    std::string raw;
    for (int rc = unzGoToFirstFile(zip_); rc == UNZ_OK; rc = unzGoToNextFile(zip_)) {
        unz_file_info info{};
        if (unzGetCurrentFileInfo(zip_, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) break;
        // Sized from the entry: minizip leaves a name that fills the buffer
        // without its terminating zero.
        raw.assign(info.size_filename + 1, '\0');
        if (unzGetCurrentFileInfo(zip_, &info, raw.data(), static_cast<uLong>(raw.size()), nullptr, 0, nullptr, 0) !=
            UNZ_OK)
            break;
        unz64_file_pos pos{};
        if (unzGetFilePos64(zip_, &pos) != UNZ_OK) break;
        index_.try_emplace(Normalised(EntryName(raw.c_str(), (info.flag & 0x800) != 0)),
                           Place{pos.pos_in_zip_directory, pos.num_of_file});
    }
}

ZipPackage::~ZipPackage() {
    if (zip_) unzClose(zip_);
}

bool ZipPackage::Has(const std::wstring& name) const { return zip_ && index_.contains(Normalised(name)); }

std::optional<std::vector<std::uint8_t>> ZipPackage::Read(const std::wstring& name) {
    if (!zip_ || name.empty()) return std::nullopt;
    const auto it = index_.find(Normalised(name));
    if (it == index_.end()) return std::nullopt;
    const unz64_file_pos pos{it->second.directoryPos, it->second.entryNumber};
    if (unzGoToFilePos64(zip_, &pos) != UNZ_OK) return std::nullopt;

    unz_file_info info{};
    if (unzGetCurrentFileInfo(zip_, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return std::nullopt;
    if (info.uncompressed_size > kMaxEntrySize) return std::nullopt;
    if (unzOpenCurrentFilePassword(zip_, password_.empty() ? nullptr : password_.c_str()) != UNZ_OK)
        return std::nullopt;

    std::vector<std::uint8_t> out(info.uncompressed_size);
    std::size_t got = 0;
    for (;;) {
        std::uint8_t probe;
        void* dest = got < out.size() ? out.data() + got : &probe;
        const unsigned want = got < out.size() ? static_cast<unsigned>(std::min<std::size_t>(out.size() - got, 65536)) : 1;
        const int n = unzReadCurrentFile(zip_, dest, want);
        if (n < 0) {
            unzCloseCurrentFile(zip_);
            return std::nullopt;
        }
        if (n == 0) break;
        if (got >= out.size()) {  // more data than the header promised
            unzCloseCurrentFile(zip_);
            return std::nullopt;
        }
        got += static_cast<std::size_t>(n);
    }
    if (unzCloseCurrentFile(zip_) != UNZ_OK || got != out.size()) return std::nullopt;
    return out;
}

std::optional<std::vector<std::uint8_t>> ReadZipEntry(const void* data, std::size_t length,
                                                      const std::wstring& name, const std::wstring& password) {
    return ZipPackage(data, length, password).Read(name);
}

}  // namespace xcgui
