#include "install/archive_reader.h"

#include <zlib.h>

#include "unzip.h"

#include <algorithm>
#include <array>

#include "platform/file.h"
#include "platform/handles.h"
#include "platform/paths.h"
#include "startup/external.h"
#include "startup/text.h"

namespace varnel {
namespace {

constexpr std::size_t kTransferSize = 16384;
constexpr std::uint64_t kUnixEpochSeconds = 11644473600ull;  // 1601 -> 1970

FILETIME FromQuad(std::uint64_t value) {
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

// DOS date and time, read as local time, as a UTC file time; empty when the
// fields do not make a date.
FILETIME DosTimeToUtc(std::uint32_t dosDate) {
    const std::uint32_t date = dosDate >> 16, time = dosDate & 0xFFFF;
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(1980 + (date >> 9));
    local.wMonth = static_cast<WORD>((date >> 5) & 0xF);
    local.wDay = static_cast<WORD>(date & 0x1F);
    local.wHour = static_cast<WORD>(time >> 11);
    local.wMinute = static_cast<WORD>((time >> 5) & 0x3F);
    local.wSecond = static_cast<WORD>(2 * (time & 0x1F));
    FILETIME localTime{}, utc{};
    if (!SystemTimeToFileTime(&local, &localTime) || !LocalFileTimeToFileTime(&localTime, &utc)) return {};
    return utc;
}

FILETIME UtcToLocal(const FILETIME& utc) {
    FILETIME local{};
    if (utc.dwLowDateTime == 0 && utc.dwHighDateTime == 0) return local;
    FileTimeToLocalFileTime(&utc, &local);
    return local;
}

// The temporary file's name beside its target: "~vnXXXXXXXX.tmp".
constexpr std::size_t kTemporaryNameLength = 15;

// A file that is deleted unless it was moved into place.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() { Discard(); }

    // Creates a new file beside `target` (same directory, so the final move
    // is a rename on one volume).
    bool Create(const std::wstring& target, DWORD attributes) {
        const std::size_t cut = target.find_last_of(L"\\/");
        const std::wstring directory = cut == std::wstring::npos ? std::wstring() : target.substr(0, cut + 1);
        DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
        for (int attempt = 0; attempt < 32; ++attempt, seed = seed * 1103515245u + 12345u) {
            std::array<wchar_t, 16> suffix{};
            wsprintfW(suffix.data(), L"~vn%08X.tmp", static_cast<unsigned>(seed));
            path_ = directory + suffix.data();
            if (file_.Create(path_, 0, CREATE_NEW, attributes | FILE_FLAG_SEQUENTIAL_SCAN)) return true;
            const DWORD error = GetLastError();
            path_.clear();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
        }
        return false;
    }

    // With no file to replace, the target itself is the new file: a failure
    // deletes it again, and the rename is saved.
    bool CreateInPlace(const std::wstring& target, DWORD attributes) {
        path_ = target;
        inPlace_ = true;
        if (!file_.Create(path_, 0, CREATE_NEW, attributes | FILE_FLAG_SEQUENTIAL_SCAN)) path_.clear();
        return static_cast<bool>(file_);
    }

    HANDLE Handle() const { return file_.Get(); }
    OutFile& File() { return file_; }

    bool MoveOver(const std::wstring& target) {
        file_.Close();
        if (!inPlace_ && !MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
        path_.clear();
        return true;
    }

    void Discard() {
        file_.Close();
        if (!path_.empty()) DeleteFileW(path_.c_str());
        path_.clear();
    }

private:
    std::wstring path_;
    bool inPlace_ = false;
    OutFile file_;
};

// Traditional ZIP encryption. minizip's unzip is built without its own
// decryption, so encrypted entries are read raw and decrypted here.
class ZipCrypto {
public:
    explicit ZipCrypto(std::string_view password) {
        for (char c : password) Update(static_cast<std::uint8_t>(c));
    }
    std::uint8_t Decrypt(std::uint8_t c) {
        const std::uint32_t temp = (keys_[2] & 0xFFFF) | 2;
        c ^= static_cast<std::uint8_t>((temp * (temp ^ 1)) >> 8);
        Update(c);
        return c;
    }

private:
    void Update(std::uint8_t c) {
        keys_[0] = table_[(keys_[0] ^ c) & 0xFF] ^ (keys_[0] >> 8);
        keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
        keys_[2] = table_[(keys_[2] ^ (keys_[1] >> 24)) & 0xFF] ^ (keys_[2] >> 8);
    }
    const z_crc_t* table_ = get_crc_table();
    std::uint32_t keys_[3] = {305419896u, 591751049u, 878082192u};
};

// Plain data of an encrypted entry opened raw: decrypted, past its 12-byte
// header, inflated when deflated; the CRC is kept here since minizip does
// not check raw reads.
class DecryptingInflater {
public:
    DecryptingInflater(unzFile archive, ZipCrypto crypto, bool deflated)
        : archive_(archive), crypto_(crypto), deflated_(deflated), input_(kTransferSize) {
        if (deflated_) inflateInit2(&z_, -MAX_WBITS);
    }
    DecryptingInflater(const DecryptingInflater&) = delete;
    DecryptingInflater& operator=(const DecryptingInflater&) = delete;
    ~DecryptingInflater() {
        if (deflated_) inflateEnd(&z_);
    }

    // As unzReadCurrentFile: bytes produced, 0 at the end, negative on damage.
    int Read(std::uint8_t* out, unsigned size) {
        z_.next_out = out;
        z_.avail_out = size;
        while (z_.avail_out > 0 && !ended_) {
            if (z_.avail_in == 0) {
                const int n = unzReadCurrentFile(archive_, input_.data(), static_cast<unsigned>(input_.size()));
                if (n < 0) return n;
                if (n == 0) break;
                for (int i = 0; i < n; ++i) input_[i] = crypto_.Decrypt(input_[i]);
                const unsigned skip = std::min<unsigned>(headerLeft_, static_cast<unsigned>(n));
                headerLeft_ -= skip;
                z_.next_in = input_.data() + skip;
                z_.avail_in = static_cast<unsigned>(n) - skip;
                continue;
            }
            if (deflated_) {
                const int status = inflate(&z_, Z_NO_FLUSH);
                if (status == Z_STREAM_END) ended_ = true;
                else if (status != Z_OK) return Z_DATA_ERROR;
            } else {
                const unsigned n = std::min(z_.avail_in, z_.avail_out);
                std::copy_n(z_.next_in, n, z_.next_out);
                z_.next_in += n, z_.avail_in -= n, z_.next_out += n, z_.avail_out -= n;
            }
        }
        const unsigned produced = size - z_.avail_out;
        crc_ = crc32(crc_, out, produced);
        return static_cast<int>(produced);
    }
    std::uint32_t Crc() const { return static_cast<std::uint32_t>(crc_); }

private:
    unzFile archive_;
    ZipCrypto crypto_;
    bool deflated_;
    bool ended_ = false;
    unsigned headerLeft_ = 12;
    uLong crc_ = crc32(0, nullptr, 0);
    z_stream z_{};
    std::vector<std::uint8_t> input_;
};

}  // namespace

// --- entry rules

UnixTimes ReadUnixTimes(std::span<const std::uint8_t> extra) {
    UnixTimes times;
    if (extra.size() < 5) return times;
    for (std::size_t offset = 0; offset + 4 < extra.size();) {
        const std::uint32_t id = Le16(&extra[offset]);
        const std::size_t size = Le16(&extra[offset + 2]);
        if (id == 0x5455) {
            // Only what lies inside both the block and the field counts.
            const std::size_t end = std::min(extra.size(), offset + 4 + size);
            std::size_t at = offset + 4;
            if (at >= end) return times;
            const std::uint8_t flags = extra[at++];
            std::optional<FILETIME>* slots[] = {&times.modification, &times.access, &times.creation};
            for (int bit = 0; bit < 3; ++bit) {
                if (!(flags & (1 << bit))) continue;
                if (at + 4 > end) break;
                const auto seconds = static_cast<std::int32_t>(Le32(&extra[at]));
                at += 4;
                *slots[bit] = FromQuad((static_cast<std::int64_t>(seconds) + kUnixEpochSeconds) * 10000000ull);
            }
            return times;
        }
        offset += 4 + size;
    }
    return times;
}

// --- the reader

ArchiveReader::ArchiveReader() = default;

ArchiveReader::~ArchiveReader() { Close(); }

bool ArchiveReader::OpenFromMemory(const void* data, std::size_t length, std::string_view password) {
    Close();
    if (data == nullptr) length = 0;
    stream_ = MemoryZipStream{{static_cast<const std::uint8_t*>(data), length}};
    archive_ = OpenMemoryZip(stream_);
    if (!archive_) return false;
    position_ = 0;
    password_.assign(password.substr(0, password.find('\0')));
    std::wstring current(MAX_PATH + 1, L'\0');
    const DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
    current.resize(n < current.size() ? n : 0);
    SetBaseDirectory(Utf16ToText(current));
    return true;
}

ArchiveResult ArchiveReader::SetBaseDirectory(std::string_view directory) {
    if (!IsOpen()) return ArchiveResult::kNotOpen;
    // Kept whole even when over-long: a cut base would name another folder;
    // extraction refuses the long paths instead.
    baseDirectory_.assign(directory.substr(0, directory.find('\0')));
    if (baseDirectory_.empty() || LastSeparator(baseDirectory_) != baseDirectory_.size() - 1)
        baseDirectory_ += '\\';
    return ArchiveResult::kDone;
}

int ArchiveReader::ItemCount() const {
    if (!IsOpen()) return 0;
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(archive_, &global) != UNZ_OK) return 0;
    return static_cast<int>(std::min<ZPOS64_T>(global.number_entry, 0x7FFFFFFF));
}

void ArchiveReader::Close() {
    if (!IsOpen()) return;
    unzClose(archive_);
    archive_ = nullptr;
    stream_ = MemoryZipStream{};
    position_ = -1;
    item_ = Item{};
    password_.clear();
    std::vector<std::uint8_t>().swap(transfer_);
    zstd_.reset();
}

bool ArchiveReader::MoveTo(int index) {
    if (position_ < 0 || index < position_) {
        position_ = -1;
        if (unzGoToFirstFile(archive_) != UNZ_OK) return false;
        position_ = 0;
    }
    while (position_ < index) {
        if (unzGoToNextFile(archive_) != UNZ_OK) {
            position_ = -1;
            return false;
        }
        ++position_;
    }
    return true;
}

bool ArchiveReader::ReadCurrentItem(Item& item) {
    ZipEntry& entry = item.entry;
    if (!ReadCurrentEntry(static_cast<unzFile>(archive_), stream_.bytes, entry)) return false;
    item.name = CleanEntryName(entry.storedName);
    item.attributes = EntryAttributes(entry.versionMadeBy, entry.externalAttributes);
    const FILETIME dosTime = DosTimeToUtc(entry.dosDate);
    const UnixTimes unix = ReadUnixTimes(entry.localExtra);
    item.modification = unix.modification.value_or(dosTime);
    item.access = unix.access.value_or(dosTime);
    item.creation = unix.creation.value_or(dosTime);
    return entry.compressedSize <= 0x7FFFFFFF && entry.uncompressedSize <= 0x7FFFFFFF;
}

ArchiveResult ArchiveReader::LookUp(int index) {
    if (index < 0 || index >= ItemCount()) return ArchiveResult::kBadIndex;
    if (item_.index == index) return ArchiveResult::kDone;
    item_ = Item{};
    Item item;
    if (!MoveTo(index) || !ReadCurrentItem(item)) return ArchiveResult::kCorrupt;
    item.index = index;
    item_ = std::move(item);
    return ArchiveResult::kDone;
}

ArchiveItemInfo ArchiveReader::GetItemInfo(int index) {
    if (!IsOpen() || LookUp(index) != ArchiveResult::kDone) return {};
    ArchiveItemInfo info;
    info.index = index;
    info.name = item_.name;
    info.attributes = item_.attributes;
    info.lastAccessTime = UtcToLocal(item_.access);
    info.creationTime = UtcToLocal(item_.creation);
    info.modificationTime = UtcToLocal(item_.modification);
    info.compressedSize = static_cast<std::int32_t>(item_.entry.compressedSize);
    info.uncompressedSize = static_cast<std::int32_t>(item_.entry.uncompressedSize);
    return info;
}

// Traditional encryption: the last of the 12 header bytes, decrypted, must
// equal the CRC's top byte (or the DOS time's high byte when the sizes come
// after the data).
bool ArchiveReader::PasswordMatches() const {
    const ZipEntry& entry = item_.entry;
    if (entry.dataOffset > stream_.bytes.size() || stream_.bytes.size() - entry.dataOffset < 12) return false;
    ZipCrypto crypto(password_);
    std::uint8_t plain = 0;
    for (std::size_t i = 0; i < 12; ++i) plain = crypto.Decrypt(stream_.bytes[entry.dataOffset + i]);
    const std::uint8_t expected = (entry.flags & 8) ? static_cast<std::uint8_t>(entry.dosDate >> 8)
                                                    : static_cast<std::uint8_t>(entry.crc >> 24);
    return plain == expected;
}

// Creates the base directory (one level, when used) and then each level of
// the directory part, outermost first. Failures show later, when the file
// cannot be created.
void ArchiveReader::MakeDirectory(std::string_view directoryPart, bool useBase) const {
    const std::string prefix = useBase ? baseDirectory_ : std::string();
    const auto create = [](const std::string& level) {
        // Roots, drives and doubled separators are not levels of their own.
        if (level.empty() || IsSeparator(level.back()) || level.back() == ':') return;
        ext::CreateDirectoryW(FilePathForCalls(level).c_str(), nullptr);
    };
    if (useBase) create(prefix.substr(0, prefix.size() - 1));
    ForEachCharacter(directoryPart, [&](std::size_t i) {
        if (IsSeparator(directoryPart[i])) create(prefix + std::string(directoryPart.substr(0, i)));
        return true;
    });
    create(prefix + std::string(directoryPart));
}

ArchiveResult ArchiveReader::ExtractItem(int index, std::string_view target) {
    lastError_ = 0;
    if (!IsOpen()) return ArchiveResult::kNotOpen;
    if (const ArchiveResult found = LookUp(index); found != ArchiveResult::kDone) return found;
    target = target.substr(0, target.find('\0'));

    const bool absolute = IsAbsoluteName(target);
    if (!absolute && !StaysBelowBase(target)) return ArchiveResult::kCannotCreate;

    if (item_.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if ((absolute ? 0 : baseDirectory_.size()) + target.size() > kMaxPathBytes) return ArchiveResult::kCannotCreate;
        MakeDirectory(target, !absolute);
        return ArchiveResult::kDone;
    }

    const std::size_t cut = LastSeparator(target);
    const std::string_view directoryPart = cut == std::string_view::npos ? std::string_view() : target.substr(0, cut + 1);
    const std::string_view fileName = target.substr(directoryPart.size());
    const std::string path = absolute ? std::string(target) : JoinTexts(baseDirectory_, target);
    if (path.size() > kMaxPathBytes) return ArchiveResult::kCannotCreate;
    // The folders come first, also for a name that turns out to have no file.
    MakeDirectory(directoryPart, !absolute);
    if (fileName.empty()) return ArchiveResult::kCannotCreate;
    return ExtractFile(path);
}

// A target that already holds exactly the entry's bytes is as good as
// written, even when it cannot be replaced: a library the installer itself
// has loaded from the install folder, a read-only copy of the same file.
ArchiveResult ArchiveReader::Refused(ArchiveResult result, const std::wstring& target) {
    const DWORD error = GetLastError();
    if (TargetHoldsItem(target)) return ArchiveResult::kDone;
    lastError_ = error;
    return result;
}

bool ArchiveReader::TargetHoldsItem(const std::wstring& target) {
    InFile file;
    std::uint64_t size = 0;
    if (!file.Open(target, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_FLAG_SEQUENTIAL_SCAN) ||
        !file.GetSize(size) || size != item_.entry.uncompressedSize)
        return false;
    if (transfer_.empty()) transfer_.resize(kTransferSize);
    uLong crc = crc32(0, nullptr, 0);
    for (std::uint64_t done = 0; done < item_.entry.uncompressedSize;) {
        if (stop_ && stop_->load(std::memory_order_relaxed)) return false;  // a long read must not hold up the end
        DWORD read = 0;
        if (!file.ReadChunk(transfer_.data(), transfer_.size(), read) || read == 0) return false;
        crc = crc32(crc, transfer_.data(), read);
        done += read;
    }
    return static_cast<std::uint32_t>(crc) == item_.entry.crc;
}

ArchiveResult ArchiveReader::ExtractFile(const std::string& path) {
    const std::wstring target = FilePathForCalls(path, kTemporaryNameLength);

    // An existing target must be replaceable before anything is unpacked:
    // read-only, in use or a folder means 0x200 and it stays as it is.
    const DWORD existing = ext::GetFileAttributesW(target.c_str());
    const bool replacing = existing != INVALID_FILE_ATTRIBUTES;
    const auto refused = [&](ArchiveResult result) { return replacing ? Refused(result, target) : result; };
    if (replacing) {
        if (existing & FILE_ATTRIBUTE_DIRECTORY) {
            lastError_ = ERROR_ACCESS_DENIED;
            return ArchiveResult::kCannotCreate;
        }
        if (existing & FILE_ATTRIBUTE_READONLY) {
            SetLastError(ERROR_ACCESS_DENIED);
            return refused(ArchiveResult::kCannotCreate);
        }
        OutFile probe;  // write access, no sharing: in use or refused shows here
        if (!probe.Create(target, 0, OPEN_EXISTING, 0)) return refused(ArchiveResult::kCannotCreate);
    }

    const std::uint32_t method = item_.entry.method;
    const bool encrypted = item_.entry.flags & 1;
    if (encrypted && (password_.empty() || !PasswordMatches())) return ArchiveResult::kPasswordNeeded;
    if (!IsReadableMethod(method) || (encrypted && method == kMethodZstd)) return ArchiveResult::kCorrupt;

    // Encrypted entries are read raw and decrypted here; the others are
    // decoded by the method they name.
    OpenZipEntry entry(static_cast<unzFile>(archive_));
    EntryData data(static_cast<unzFile>(archive_), stream_.bytes, zstd_);
    if (encrypted ? !entry.Open(nullptr, 1) : !data.Open(item_.entry)) return ArchiveResult::kCorrupt;
    std::optional<DecryptingInflater> decrypting;
    if (encrypted) decrypting.emplace(static_cast<unzFile>(archive_), ZipCrypto(password_), method == Z_DEFLATED);
    const auto read = [&](std::uint8_t* out, unsigned size) {
        return decrypting ? decrypting->Read(out, size) : data.Read(out, size);
    };

    // Before the file exists: running out of memory ends the process at
    // once, and must not leave the file behind.
    if (transfer_.empty()) transfer_.resize(kTransferSize);

    // Written beside the target and moved over it only when complete, so a
    // failure never leaves half a file nor loses the one it was to replace.
    const DWORD attributes = item_.attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
    const DWORD createAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    TemporaryFile temporary;
    const bool created = replacing ? temporary.Create(target, createAttributes)
                                   : temporary.CreateInPlace(target, createAttributes);
    if (!created) {
        lastError_ = GetLastError();
        return refused(ArchiveResult::kCannotCreate);
    }

    // The password check byte matches one wrong password in 256; damage
    // after decryption is put down to the password.
    const ArchiveResult damaged = encrypted ? ArchiveResult::kPasswordNeeded : ArchiveResult::kCorrupt;
    std::uint64_t total = 0;
    for (;;) {
        const int n = read(transfer_.data(), static_cast<unsigned>(transfer_.size()));
        if (n < 0) return damaged;  // the close after a data error still says OK
        if (n == 0) break;
        if (stop_ && stop_->load(std::memory_order_relaxed)) {
            temporary.Discard();
            lastError_ = ERROR_OPERATION_ABORTED;
            return ArchiveResult::kWriteFailed;
        }
        if (!temporary.File().WriteAll(transfer_.data(), static_cast<std::size_t>(n))) {
            const DWORD error = GetLastError();  // ERROR_DISK_FULL for a short write
            temporary.Discard();  // gives the space back before anything is compared
            SetLastError(error);
            lastError_ = error;
            return refused(ArchiveResult::kWriteFailed);
        }
        total += static_cast<std::uint64_t>(n);
    }
    // An empty chunk before the end means the data was cut short.
    const bool crcMatched = !decrypting || decrypting->Crc() == item_.entry.crc;
    const bool whole = encrypted ? entry.CloseChecked() : data.Finish();
    if (total != item_.entry.uncompressedSize || !whole || !crcMatched) return damaged;

    SetFileTime(temporary.Handle(), &item_.creation, &item_.access, &item_.modification);
    if (!temporary.MoveOver(target)) {
        lastError_ = GetLastError();
        return refused(ArchiveResult::kCannotCreate);
    }
    if (replacing) {
        // A name deleted and made again within seconds gets the old file's
        // creation time back on NTFS (name tunnelling): set it once more.
        const FileHandle moved(CreateFileW(target.c_str(), FILE_WRITE_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        if (moved) SetFileTime(moved.Get(), &item_.creation, &item_.access, &item_.modification);
    }
    if (item_.attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(target.c_str(), item_.attributes & ~FILE_ATTRIBUTE_DIRECTORY);
    return ArchiveResult::kDone;
}

}  // namespace varnel
