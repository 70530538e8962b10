#include "zip_memory.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwctype>

#include <unzip.h>

#include "resources.h"

namespace xcgui {

namespace {

// Entries larger than this are refused: the UI package is small, and a
// hostile size field must not make us allocate gigabytes.
constexpr uLong kMaxEntrySize = 64u << 20;

struct MemoryFile {
    const std::uint8_t* data;
    uLong size;
    uLong pos = 0;
};

voidpf ZCALLBACK Open(voidpf opaque, const char*, int) { return opaque; }

uLong ZCALLBACK Read(voidpf, voidpf stream, void* buf, uLong size) {
    auto* f = static_cast<MemoryFile*>(stream);
    const uLong n = std::min<uLong>(size, f->size - f->pos);
    std::memcpy(buf, f->data + f->pos, n);
    f->pos += n;
    return n;
}

uLong ZCALLBACK Write(voidpf, voidpf, const void*, uLong) { return 0; }

long ZCALLBACK Tell(voidpf, voidpf stream) { return static_cast<long>(static_cast<MemoryFile*>(stream)->pos); }

long ZCALLBACK Seek(voidpf, voidpf stream, uLong offset, int origin) {
    auto* f = static_cast<MemoryFile*>(stream);
    unsigned long long base = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = f->pos;
    else if (origin == ZLIB_FILEFUNC_SEEK_END) base = f->size;
    const unsigned long long target = base + offset;
    if (target > f->size) return -1;
    f->pos = static_cast<uLong>(target);
    return 0;
}

int ZCALLBACK Close(voidpf, voidpf) { return 0; }
int ZCALLBACK Error(voidpf, voidpf) { return 0; }

std::wstring Normalised(std::wstring s) {
    for (auto& ch : s) ch = ch == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(ch));
    return s;
}

std::wstring EntryName(const char* raw, bool utf8) {
    if (utf8) return Utf8ToWide(raw);
    const int n = MultiByteToWideChar(CP_ACP, 0, raw, -1, nullptr, 0);
    std::wstring out(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, raw, -1, out.data(), n);
    out.resize(std::wcslen(out.c_str()));
    return out;
}

struct UnzCloser {
    void operator()(void* z) const { unzClose(z); }
};

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadZipEntry(const void* data, std::size_t length,
                                                      const std::wstring& name, const std::wstring& password) {
    if (!data || length < 22 || length > 0x7FFFFFFF || name.empty()) return std::nullopt;
    MemoryFile file{static_cast<const std::uint8_t*>(data), static_cast<uLong>(length)};
    zlib_filefunc_def io{Open, Read, Write, Tell, Seek, Close, Error, &file};
    std::unique_ptr<void, UnzCloser> zip(unzOpen2("memory", &io));
    if (!zip) return std::nullopt;

    const std::wstring wanted = Normalised(name);
    bool found = false;
    for (int rc = unzGoToFirstFile(zip.get()); rc == UNZ_OK; rc = unzGoToNextFile(zip.get())) {
        char raw[1024];
        unz_file_info info{};
        if (unzGetCurrentFileInfo(zip.get(), &info, raw, sizeof raw, nullptr, 0, nullptr, 0) != UNZ_OK)
            return std::nullopt;
        if (Normalised(EntryName(raw, (info.flag & 0x800) != 0)) == wanted) {
            found = true;
            break;
        }
    }
    if (!found) return std::nullopt;

    unz_file_info info{};
    if (unzGetCurrentFileInfo(zip.get(), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return std::nullopt;
    if (info.uncompressed_size > kMaxEntrySize) return std::nullopt;
    const std::string pass = WideToUtf8(password);
    if (unzOpenCurrentFilePassword(zip.get(), pass.empty() ? nullptr : pass.c_str()) != UNZ_OK) return std::nullopt;

    std::vector<std::uint8_t> out(info.uncompressed_size);
    std::size_t got = 0;
    for (;;) {
        std::uint8_t probe;
        void* dest = got < out.size() ? out.data() + got : &probe;
        const unsigned want = got < out.size() ? static_cast<unsigned>(std::min<std::size_t>(out.size() - got, 65536)) : 1;
        const int n = unzReadCurrentFile(zip.get(), dest, want);
        if (n < 0) {
            unzCloseCurrentFile(zip.get());
            return std::nullopt;
        }
        if (n == 0) break;
        if (got >= out.size()) {  // more data than the header promised
            unzCloseCurrentFile(zip.get());
            return std::nullopt;
        }
        got += static_cast<std::size_t>(n);
    }
    if (unzCloseCurrentFile(zip.get()) != UNZ_OK || got != out.size()) return std::nullopt;
    return out;
}

}  // namespace xcgui
