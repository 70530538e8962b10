// The archive reader on real archives (made here with minizip's zip.c) and
// real files in a temporary folder of the prefix.
#include <gtest/gtest.h>

#include <windows.h>

#include <zip.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <zstd.h>

#include "install/archive_reader.h"
#include "install/background_extraction.h"
#include "tests/patience.h"

namespace varnel {

void PrintTo(ArchiveResult result, std::ostream* out) { *out << "0x" << std::hex << static_cast<std::uint32_t>(result); }

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Long enough to unpack that the error box shows and closes meanwhile.
constexpr std::size_t kMidItemMegabytes = 96;

constexpr std::uint32_t kDosTime = (((2024 - 1980) << 9 | 11 << 5 | 18) << 16) | (12 << 11 | 34 << 5 | 56 / 2);

struct TestEntry {
    TestEntry(std::string name, std::string data, std::uint32_t madeBy = 0x0014 /* host 0 */,
              std::uint32_t external = 0x20, Bytes localExtra = {}, int method = Z_DEFLATED)
        : name(std::move(name)), data(std::move(data)), madeBy(madeBy), external(external),
          localExtra(std::move(localExtra)), method(method) {}
    std::string name;
    std::string data;
    std::uint32_t madeBy;
    std::uint32_t external;
    Bytes localExtra;
    int method;
    const char* password = nullptr;
};

// Letters that deflate only partly, so damage lands inside the data.
std::string Text(std::size_t size, char seed) {
    std::string text;
    std::uint32_t state = static_cast<std::uint8_t>(seed);
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        text += static_cast<char>('a' + (state >> 16) % 26);
    }
    return text;
}

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string ReadText(const fs::path& path) {
    const Bytes bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::uint32_t Le16(const Bytes& b, std::size_t at) { return b[at] | b[at + 1] << 8; }
std::uint32_t Le32(const Bytes& b, std::size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24; }
void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint64_t Quad(const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

// A UTC time as a file time quad (the prefix runs on Asia/Shanghai, UTC+8).
std::uint64_t UtcQuad(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME st{year, month, 0, day, hour, minute, second, 0};
    FILETIME ft{};
    SystemTimeToFileTime(&st, &ft);
    return Quad(ft);
}

std::uint64_t FileModificationTime(const fs::path& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return Quad(data.ftLastWriteTime);
}

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        root_ = fs::temp_directory_path() / ("varnel-archive-" + std::to_string(GetCurrentProcessId()) + "-" +
                                             std::to_string(++counter));
        fs::remove_all(root_);
        fs::create_directories(root_);
        base_ = root_ / "base";
    }
    void TearDown() override {
        for (const auto& entry : fs::recursive_directory_iterator(root_))
            SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(root_);
    }

    Bytes MakeZip(const std::vector<TestEntry>& entries) {
        const std::string path = (root_ / "made.zip").string();
        zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
        EXPECT_NE(zip, nullptr);
        for (const TestEntry& e : entries) {
            zip_fileinfo info{};
            info.dosDate = kDosTime;
            info.external_fa = e.external;
            const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
            // Zstandard entries are compressed here and written raw as stored
            // ones (minizip's writer knows no method 93); their method is set below.
            const bool zstd = e.method == kMethodZstd;
            EXPECT_EQ(zipOpenNewFileInZip4_64(zip, e.name.c_str(), &info, e.localExtra.data(),
                                              static_cast<uInt>(e.localExtra.size()), nullptr, 0, nullptr,
                                              zstd ? 0 : e.method, e.method ? 6 : 0, zstd, -MAX_WBITS, DEF_MEM_LEVEL,
                                              Z_DEFAULT_STRATEGY, e.password, crc, e.madeBy, 0, 0),
                      ZIP_OK);
            if (zstd) {
                Bytes packed(ZSTD_compressBound(e.data.size()));
                packed.resize(ZSTD_compress(packed.data(), packed.size(), e.data.data(), e.data.size(), 19));
                zipWriteInFileInZip(zip, packed.data(), static_cast<unsigned>(packed.size()));
                zipCloseFileInZipRaw64(zip, e.data.size(), crc);
            } else {
                zipWriteInFileInZip(zip, e.data.data(), static_cast<unsigned>(e.data.size()));
                zipCloseFileInZip(zip);
            }
        }
        zipClose(zip, nullptr);
        Bytes bytes = ReadBytes(path);
        fs::remove(path);
        // Method 93 in the local and central headers of the Zstandard entries.
        const std::size_t central = Le32(bytes, bytes.size() - 22 + 16);
        for (std::size_t at = central, i = 0; i < entries.size(); ++i) {
            if (entries[i].method == kMethodZstd) {
                Put16(bytes, at + 10, kMethodZstd);
                Put16(bytes, Le32(bytes, at + 42) + 8, kMethodZstd);
            }
            at += 46 + Le16(bytes, at + 28) + Le16(bytes, at + 30) + Le16(bytes, at + 32);
        }
        return bytes;
    }

    // Opens the archive with the base set to base_ (the bytes must outlive the reader's use).
    void Open(const Bytes& zip, const char* password = "") {
        zip_ = zip;
        ASSERT_TRUE(reader_.OpenFromMemory(zip_.data(), zip_.size(), password));
        ASSERT_EQ(reader_.SetBaseDirectory(base_.string()), ArchiveResult::kDone);
    }

    ArchiveResult ExtractAsInstaller(int index) { return reader_.ExtractItem(index, reader_.GetItemInfo(index).name); }

    // Everything below the root that is not below the base.
    std::set<std::string> OutsideBase() const {
        std::set<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            const std::string rel = fs::relative(entry.path(), root_).generic_string();
            if (rel != "base" && !rel.starts_with("base/")) found.insert(rel);
        }
        return found;
    }
    std::set<std::string> InBase() const {
        std::set<std::string> found;
        if (fs::exists(base_))
            for (const auto& entry : fs::recursive_directory_iterator(base_))
                found.insert(fs::relative(entry.path(), base_).generic_string());
        return found;
    }

    fs::path root_, base_;
    Bytes zip_;
    ArchiveReader reader_;
};

TEST_F(ArchiveTest, PayloadLikeArchiveUnpacksWithContentAttributeAndDosTimes) {
    const std::string exe = Text(200000, 'a');
    Open(MakeZip({{"varnel.exe", exe}, {"sub/x.dll", "library"}, {"empty.txt", ""},
                  {"stored.bin", "kept as is", 0x0014, 0x20, {}, 0}}));
    ASSERT_EQ(reader_.ItemCount(), 4);

    const ArchiveItemInfo info = reader_.GetItemInfo(0);
    EXPECT_EQ(info.index, 0);
    EXPECT_EQ(info.name, "varnel.exe");
    EXPECT_EQ(info.attributes, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(info.uncompressedSize, 200000);
    EXPECT_GT(info.compressedSize, 0);
    EXPECT_LT(info.compressedSize, 200000);
    const std::uint64_t local = UtcQuad(2024, 11, 18, 12, 34, 56);  // the DOS time, as local time
    EXPECT_EQ(Quad(info.modificationTime), local);
    EXPECT_EQ(Quad(info.lastAccessTime), local);
    EXPECT_EQ(Quad(info.creationTime), local);

    for (int i = 0; i < 4; ++i) EXPECT_EQ(ExtractAsInstaller(i), ArchiveResult::kDone) << i;
    EXPECT_TRUE(ReadText(base_ / "varnel.exe") == exe);
    EXPECT_EQ(ReadText(base_ / "sub" / "x.dll"), "library");
    EXPECT_EQ(ReadText(base_ / "stored.bin"), "kept as is");
    EXPECT_TRUE(fs::exists(base_ / "empty.txt"));
    EXPECT_EQ(GetFileAttributesW((base_ / "varnel.exe").c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE});
    EXPECT_EQ(FileModificationTime(base_ / "varnel.exe"), UtcQuad(2024, 11, 18, 4, 34, 56));
    EXPECT_EQ(InBase(), (std::set<std::string>{"varnel.exe", "sub", "sub/x.dll", "empty.txt", "stored.bin"}));
    EXPECT_TRUE(OutsideBase().empty());
}

TEST_F(ArchiveTest, ExistingFileIsReplacedAndTakesTheEntryTime) {
    fs::create_directories(base_);
    WriteText(base_ / "varnel.exe", "an older, longer version of the program");
    Open(MakeZip({{"varnel.exe", "new"}}));
    EXPECT_EQ(ExtractAsInstaller(0), ArchiveResult::kDone);
    EXPECT_EQ(ReadText(base_ / "varnel.exe"), "new");
    EXPECT_EQ(FileModificationTime(base_ / "varnel.exe"), UtcQuad(2024, 11, 18, 4, 34, 56));
    EXPECT_EQ(InBase(), std::set<std::string>{"varnel.exe"});  // no temporary left behind
}

TEST_F(ArchiveTest, CleanedNamesLandBelowTheBase) {
    Open(MakeZip({{"C:\\a\\b.dll", "1"}, {"\\a\\c.dll", "2"}, {"x/../a/d.dll", "3"}, {"dir/", "", 0x0014, 0x10}}));
    EXPECT_EQ(reader_.GetItemInfo(0).name, "a\\b.dll");
    EXPECT_EQ(reader_.GetItemInfo(1).name, "a\\c.dll");
    EXPECT_EQ(reader_.GetItemInfo(2).name, "a/d.dll");
    EXPECT_EQ(reader_.GetItemInfo(3).attributes, DWORD{FILE_ATTRIBUTE_DIRECTORY});
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ExtractAsInstaller(i), ArchiveResult::kDone) << i;
    EXPECT_EQ(InBase(), (std::set<std::string>{"a", "a/b.dll", "a/c.dll", "a/d.dll", "dir"}));
    EXPECT_TRUE(OutsideBase().empty());

    // A file entry whose name ends in a separator: its folder is made first,
    // then there is no file to create.
    Open(MakeZip({{"made/", ""}}));
    EXPECT_EQ(ExtractAsInstaller(0), ArchiveResult::kCannotCreate);
    EXPECT_TRUE(fs::is_directory(base_ / "made"));
}

TEST_F(ArchiveTest, OtherHostsAndUtBlocksDecideAttributesAndTimes) {
    const Bytes ut = {0x55, 0x54, 0x09, 0x00, 0x03, 0x00, 0xF1, 0x53, 0x65, 0x10, 0xF1, 0x53, 0x65};
    Open(MakeZip({{"readonly.txt", "r", 0x0314, 0100444u << 16}, {"stamped.txt", "s", 0x0014, 0x21, ut}}));
    EXPECT_EQ(ExtractAsInstaller(0), ArchiveResult::kDone);
    EXPECT_EQ(GetFileAttributesW((base_ / "readonly.txt").c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY});
    EXPECT_EQ(ExtractAsInstaller(1), ArchiveResult::kDone);
    EXPECT_EQ(FileModificationTime(base_ / "stamped.txt"), (0x6553F100ull + 11644473600ull) * 10000000ull);
    const ArchiveItemInfo info = reader_.GetItemInfo(1);
    EXPECT_NE(Quad(info.lastAccessTime), Quad(info.modificationTime));
    EXPECT_EQ(Quad(info.creationTime), UtcQuad(2024, 11, 18, 12, 34, 56));  // not in the block: the DOS time
}

TEST_F(ArchiveTest, IndexOutOfRangeAndClosedReader) {
    ArchiveReader never;
    EXPECT_EQ(never.ExtractItem(0, "x"), ArchiveResult::kNotOpen);
    EXPECT_EQ(never.SetBaseDirectory("C:\\x"), ArchiveResult::kNotOpen);
    EXPECT_EQ(never.ItemCount(), 0);
    EXPECT_EQ(never.GetItemInfo(0).index, -1);
    never.Close();

    Open(MakeZip({{"a.txt", "a"}}));
    EXPECT_EQ(reader_.GetItemInfo(1).index, -1);
    EXPECT_EQ(reader_.GetItemInfo(-1).index, -1);
    EXPECT_TRUE(reader_.GetItemInfo(1).name.empty());
    EXPECT_EQ(reader_.ExtractItem(1, "a.txt"), ArchiveResult::kBadIndex);
    EXPECT_EQ(reader_.ExtractItem(-1, "a.txt"), ArchiveResult::kBadIndex);
    reader_.Close();
    EXPECT_EQ(reader_.ExtractItem(0, "a.txt"), ArchiveResult::kNotOpen);
    EXPECT_EQ(reader_.ItemCount(), 0);
}

TEST_F(ArchiveTest, BaseDirectoryAlwaysEndsInOneSeparator) {
    Open(MakeZip({{"a.txt", "a"}}));
    const struct { const char* given; const char* kept; } cases[] = {
        {"D:\\varnel", "D:\\varnel\\"}, {"D:\\varnel\\", "D:\\varnel\\"}, {"D:/varnel/", "D:/varnel/"},
        {"", "\\"}, {"C:\\\x95\x5C", "C:\\\x95\x5C\\"},  // a GBK character ending in 0x5C is no separator
    };
    for (const auto& c : cases) {
        EXPECT_EQ(reader_.SetBaseDirectory(c.given), ArchiveResult::kDone);
        EXPECT_EQ(reader_.BaseDirectory(), c.kept) << c.given;
    }
}

TEST_F(ArchiveTest, AbsoluteTargetIsWrittenWhereItNames) {
    Open(MakeZip({{"a.txt", "a"}}));
    const fs::path elsewhere = root_ / "chosen" / "deeper" / "a.txt";
    EXPECT_EQ(reader_.ExtractItem(0, elsewhere.string()), ArchiveResult::kDone);
    EXPECT_EQ(ReadText(elsewhere), "a");
}

TEST_F(ArchiveTest, NamesLeadingOutOrOverLongAreRefusedAndNothingIsWrittenOutside) {
    const std::string longName = std::string(300, 'n') + ".dll";
    Open(MakeZip({{"../evil.dll", "e"}, {"..\\evil.dll", "e"}, {"..", "e"}, {"a/../../evil.dll", "e"},
                  {"sub/../../evil.dll", "e"}, {"CON", "e"}, {"aux.txt", "e"}, {longName, "e"}, {"fine.dll", "f"}}));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(ExtractAsInstaller(i), ArchiveResult::kCannotCreate) << i;
    EXPECT_EQ(reader_.GetItemInfo(7).name, longName);  // read whole, never cut
    EXPECT_EQ(ExtractAsInstaller(8), ArchiveResult::kDone);
    EXPECT_TRUE(OutsideBase().empty());
    EXPECT_EQ(InBase(), std::set<std::string>{"fine.dll"});
}

TEST_F(ArchiveTest, ComposedPathsUpTo259BytesOnly) {
    Open(MakeZip({{"a.txt", "a"}}));
    // Folder and file together fill 259 bytes, so the folder and the
    // temporary file beside the target are longer than plain MAX_PATH calls take.
    const std::string base = base_.string() + "\\";
    const std::string folder(259 - base.size() - 6, 'd');
    EXPECT_EQ(reader_.ExtractItem(0, folder + "\\f.dll"), ArchiveResult::kDone);
    EXPECT_EQ(reader_.ExtractItem(0, folder + "\\fg.dll"), ArchiveResult::kCannotCreate);
    EXPECT_EQ(InBase(), (std::set<std::string>{folder, folder + "/f.dll"}));
}

TEST_F(ArchiveTest, ReadOnlyOrLockedTargetStaysAsItWasUnlessItHoldsTheEntry) {
    fs::create_directories(base_);
    for (const char* name : {"ro.dll", "locked.dll"}) WriteText(base_ / name, "old");
    for (const char* name : {"same-ro.dll", "same-held.dll"}) WriteText(base_ / name, "new");
    SetFileAttributesW((base_ / "ro.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((base_ / "same-ro.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE lock = CreateFileW((base_ / "locked.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    // Held as a loaded library is: others may read it, nobody may write it.
    HANDLE held = CreateFileW((base_ / "same-held.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Open(MakeZip({{"ro.dll", "new"}, {"locked.dll", "new"}, {"same-ro.dll", "new"}, {"same-held.dll", "new"},
                  {"fresh.dll", "new"}}));
    EXPECT_EQ(ExtractAsInstaller(0), ArchiveResult::kCannotCreate);
    EXPECT_EQ(reader_.LastSystemError(), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(ExtractAsInstaller(1), ArchiveResult::kCannotCreate);
    EXPECT_EQ(reader_.LastSystemError(), DWORD{ERROR_SHARING_VIOLATION});
    EXPECT_EQ(ExtractAsInstaller(2), ArchiveResult::kDone);
    EXPECT_EQ(ExtractAsInstaller(3), ArchiveResult::kDone);
    EXPECT_EQ(ExtractAsInstaller(4), ArchiveResult::kDone);
    EXPECT_EQ(reader_.LastSystemError(), DWORD{0});
    CloseHandle(lock);
    CloseHandle(held);
    EXPECT_EQ(ReadText(base_ / "ro.dll"), "old");
    EXPECT_EQ(ReadText(base_ / "locked.dll"), "old");
    EXPECT_EQ(InBase(), (std::set<std::string>{"ro.dll", "locked.dll", "same-ro.dll", "same-held.dll", "fresh.dll"}));
}

TEST_F(ArchiveTest, PasswordProtectedEntryNeedsTheRightPassword) {
    TestEntry deflated{"secret.txt", Text(5000, 'k')}, stored{"stored.txt", "plain", 0x0014, 0x20, {}, 0};
    deflated.password = stored.password = "letmein";
    const Bytes zip = MakeZip({deflated, stored});
    for (const char* password : {"", "wrong"}) {
        Open(zip, password);
        EXPECT_EQ(ExtractAsInstaller(0), ArchiveResult::kPasswordNeeded) << password;
        EXPECT_EQ(ExtractAsInstaller(1), ArchiveResult::kPasswordNeeded) << password;
        EXPECT_TRUE(InBase().empty());
    }
    Open(zip, "letmein");
    EXPECT_EQ(ExtractAsInstaller(0), ArchiveResult::kDone);
    EXPECT_EQ(ExtractAsInstaller(1), ArchiveResult::kDone);
    EXPECT_TRUE(ReadText(base_ / "secret.txt") == deflated.data);
    EXPECT_EQ(ReadText(base_ / "stored.txt"), "plain");
}

// Zstandard entries beside deflate and stored ones in one archive, longer
// than the transfer buffer and empty, unpack byte for byte; a damaged one
// is a damaged package and the file it was to replace stays.
TEST_F(ArchiveTest, ZstandardEntriesUnpackBesideDeflateAndDamageIsCorrupt) {
    const std::string big = Text(300000, 'z') + std::string(100000, 'q');
    const Bytes zip = MakeZip({{"big.dll", big, 0x0014, 0x20, {}, kMethodZstd},
                               {"small.txt", "deflated", 0x0014, 0x20},
                               {"empty.dat", "", 0x0014, 0x20, {}, kMethodZstd},
                               {"sub/stored.txt", "stored", 0x0014, 0x20, {}, 0}});
    Open(zip);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ExtractAsInstaller(i), ArchiveResult::kDone) << i;
    EXPECT_TRUE(ReadText(base_ / "big.dll") == big);
    EXPECT_EQ(ReadText(base_ / "small.txt"), "deflated");
    EXPECT_EQ(ReadText(base_ / "empty.dat"), "");
    EXPECT_EQ(ReadText(base_ / "sub" / "stored.txt"), "stored");
    reader_.Close();

    WriteText(base_ / "big.dll", "the copy already installed");
    for (std::size_t at : {std::size_t{30 + 7 + 20}, std::size_t{30 + 7 + 5000}}) {
        Bytes damaged = zip;
        damaged[at] ^= 0x5A;
        ASSERT_TRUE(reader_.OpenFromMemory(damaged.data(), damaged.size()));
        reader_.SetBaseDirectory(base_.string());
        EXPECT_EQ(ExtractAsInstaller(0), ArchiveResult::kCorrupt) << at;
        EXPECT_EQ(ReadText(base_ / "big.dll"), "the copy already installed");
        EXPECT_EQ(ExtractAsInstaller(1), ArchiveResult::kDone);
        reader_.Close();
    }
}

TEST(ArchiveOpen, WhatIsNotAWholeZipDoesNotOpen) {
    ArchiveReader reader;
    const std::string text = "this is plainly not a zip archive";
    EXPECT_FALSE(reader.OpenFromMemory(text.data(), text.size()));
    EXPECT_FALSE(reader.OpenFromMemory(text.data(), 0));
    EXPECT_FALSE(reader.OpenFromMemory(nullptr, 100));
    EXPECT_FALSE(reader.IsOpen());
}

TEST_F(ArchiveTest, TruncatedArchivesDoNotOpen) {
    const Bytes zip = MakeZip({{"a.dll", Text(50000, 'a')}, {"b.dll", Text(3000, 'b')}});
    for (std::size_t cut : {zip.size() - 1, zip.size() - 10, zip.size() - 22, zip.size() - 60, zip.size() / 2,
                            std::size_t{30}, std::size_t{4}}) {
        ArchiveReader reader;
        EXPECT_FALSE(reader.OpenFromMemory(zip.data(), cut)) << cut;
    }
}

// The damaged archive: entry 0 is hit, entry 1 still unpacks afterwards.
class DamagedArchiveTest : public ArchiveTest {
protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        zip_ = MakeZip({{"a.dll", Text(60000, 'a')}, {"b.dll", "intact"}});
        central_ = Le32(zip_, zip_.size() - 22 + 16);
        fs::create_directories(base_);
        WriteText(base_ / "a.dll", "the copy already installed");
    }
    void ExpectHitThenRecover(ArchiveResult expected) {
        Bytes damaged = zip_;
        ASSERT_TRUE(reader_.OpenFromMemory(damaged.data(), damaged.size()));
        reader_.SetBaseDirectory(base_.string());
        EXPECT_EQ(ExtractAsInstaller(0), expected);
        EXPECT_EQ(ReadText(base_ / "a.dll"), "the copy already installed");
        EXPECT_EQ(ExtractAsInstaller(1), ArchiveResult::kDone);
        EXPECT_EQ(InBase(), (std::set<std::string>{"a.dll", "b.dll"}));
        reader_.Close();
    }
    std::size_t central_ = 0;
};

TEST_F(DamagedArchiveTest, FlippedByteInDeflateData) {
    for (std::size_t at : {std::size_t{30 + 5 + 3}, std::size_t{30 + 5 + 200}, std::size_t{30 + 5 + 600}}) {
        zip_[at] ^= 0x5A;
        ExpectHitThenRecover(ArchiveResult::kCorrupt);
        zip_[at] ^= 0x5A;
    }
}

TEST_F(DamagedArchiveTest, AFreshTargetIsRemovedAgainWhenItsDataIsDamaged) {
    fs::remove(base_ / "a.dll");
    zip_[30 + 5 + 200] ^= 0x5A;
    ASSERT_TRUE(reader_.OpenFromMemory(zip_.data(), zip_.size()));
    reader_.SetBaseDirectory(base_.string());
    EXPECT_EQ(ExtractAsInstaller(0), ArchiveResult::kCorrupt);
    EXPECT_EQ(ExtractAsInstaller(1), ArchiveResult::kDone);
    EXPECT_EQ(InBase(), (std::set<std::string>{"b.dll"}));  // no half file, no temporary
    reader_.Close();
}

TEST_F(DamagedArchiveTest, CrcMismatch) {
    const std::uint32_t wrong = Le32(zip_, 14) ^ 1;
    Put32(zip_, 14, wrong);             // local header
    Put32(zip_, central_ + 16, wrong);  // central header
    ExpectHitThenRecover(ArchiveResult::kCorrupt);
}

TEST_F(DamagedArchiveTest, SizesReachingPastTheEndOfTheArchive) {
    for (std::size_t at : {std::size_t{18}, std::size_t{22}, central_ + 20, central_ + 24})
        Put32(zip_, at, 0x7FFFFF00);  // compressed and uncompressed, local and central
    ExpectHitThenRecover(ArchiveResult::kCorrupt);
}

TEST_F(DamagedArchiveTest, LocalHeaderOffsetOutsideTheArchive) {
    Put32(zip_, central_ + 42, 0x7FFFFF00);
    ExpectHitThenRecover(ArchiveResult::kCorrupt);
    ASSERT_TRUE(reader_.OpenFromMemory(zip_.data(), zip_.size()));
    EXPECT_EQ(reader_.GetItemInfo(0).index, -1);
    EXPECT_EQ(reader_.GetItemInfo(1).name, "b.dll");
}

// Giving up an item (the installer's window closed while it was written)
// keeps the installed copy, or leaves nothing where there was none.
TEST_F(DamagedArchiveTest, AStoppedItemLeavesTheOldFileOrNothing) {
    std::atomic<bool> stop = true;
    ASSERT_TRUE(reader_.OpenFromMemory(zip_.data(), zip_.size()));
    reader_.SetBaseDirectory(base_.string());
    reader_.StopWhen(&stop);
    EXPECT_EQ(ExtractAsInstaller(0), ArchiveResult::kWriteFailed);
    EXPECT_EQ(reader_.LastSystemError(), DWORD{ERROR_OPERATION_ABORTED});
    EXPECT_EQ(ReadText(base_ / "a.dll"), "the copy already installed");
    fs::remove(base_ / "a.dll");
    EXPECT_EQ(ExtractAsInstaller(0), ArchiveResult::kWriteFailed);
    EXPECT_TRUE(InBase().empty());
    stop = false;
    EXPECT_EQ(ExtractAsInstaller(0), ArchiveResult::kDone);
    EXPECT_EQ(ReadText(base_ / "a.dll"), Text(60000, 'a'));
    reader_.StopWhen(nullptr);
}

// Items unpacked on the extraction thread come back as the reader gives them;
// dropping it with an item in hand leaves that item whole or absent.
TEST_F(ArchiveTest, BackgroundExtractionHandsBackEachItemAndGivesUpTheOneInHand) {
    const std::string big = Text(24 << 20, 'b');
    fs::create_directories(base_);
    WriteText(base_ / "locked.dll", "held");
    SetFileAttributesW((base_ / "locked.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    Open(MakeZip({{"sub/one.dll", "one"}, {"locked.dll", "other bytes"}, {"big.bin", big}}));
    {
        BackgroundExtraction extraction(reader_);
        EXPECT_EQ(extraction.Finish().result, ArchiveResult::kBadIndex);  // nothing started: no wait
        extraction.Start(0);
        const ExtractedItem one = extraction.Finish();
        EXPECT_EQ(one.info.index, 0);
        EXPECT_EQ(one.info.name, "sub/one.dll");
        EXPECT_EQ(one.result, ArchiveResult::kDone);
        EXPECT_EQ(ReadText(base_ / "sub" / "one.dll"), "one");
        extraction.Start(1);
        const ExtractedItem locked = extraction.Finish();
        EXPECT_EQ(locked.result, ArchiveResult::kCannotCreate);
        EXPECT_EQ(locked.systemError, DWORD{ERROR_ACCESS_DENIED});
        extraction.Start(2);
    }  // dropped while big.bin is being written
    const std::set<std::string> left = InBase();
    EXPECT_TRUE(left == (std::set<std::string>{"sub", "sub/one.dll", "locked.dll"}) ||
                left == (std::set<std::string>{"sub", "sub/one.dll", "locked.dll", "big.bin"}));
    if (left.count("big.bin")) {
        EXPECT_TRUE(ReadText(base_ / "big.bin") == big);
    }
    EXPECT_EQ(ExtractAsInstaller(2), ArchiveResult::kDone);  // the reader is usable again
    EXPECT_TRUE(ReadText(base_ / "big.bin") == big);

    // Told to give up while waiting (the window was closed), Finish returns
    // once the item is given up: the old copy stays, no temporary beside it.
    WriteText(base_ / "big.bin", "the copy already installed");
    {
        BackgroundExtraction extraction(reader_);
        extraction.Start(2);
        const ExtractedItem given = extraction.Finish([] { return true; });
        EXPECT_EQ(given.result, ArchiveResult::kWriteFailed);
        EXPECT_EQ(given.systemError, DWORD{ERROR_OPERATION_ABORTED});
        EXPECT_EQ(ReadText(base_ / "big.bin"), "the copy already installed");
        EXPECT_EQ(InBase(), (std::set<std::string>{"sub", "sub/one.dll", "locked.dll", "big.bin"}));
        extraction.Start(0);  // and so is every later item
        EXPECT_EQ(extraction.Finish().result, ArchiveResult::kWriteFailed);
    }
}

// The runtime error box ends the process while an item is being written (by
// mid_item_helper.exe): nothing cut short is left under the item's name, an
// older copy stays whole, and no temporary file stays beside it.
TEST_F(ArchiveTest, TheErrorBoxEndingTheProcessMidItemLeavesNoPartOfIt) {
    const fs::path zip = root_ / "mid.zip";
    {
        const Bytes bytes = MakeZip({{"item.bin", Text(kMidItemMegabytes << 20, 'm')}});
        std::ofstream(zip, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                   static_cast<std::streamsize>(bytes.size()));
    }
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const fs::path helper = fs::path(self).parent_path() / "mid_item_helper.exe";
    for (const bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing an older copy" : "a new file");
        fs::remove_all(base_);
        fs::create_directories(base_);
        if (replacing) WriteText(base_ / "item.bin", "the copy already installed");
        std::wstring commandLine = L"\"" + helper.wstring() + L"\" \"" + zip.wstring() + L"\" \"" + base_.wstring() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        ASSERT_TRUE(CreateProcessW(helper.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &child));
        const DWORD waited = WaitForSingleObject(child.hProcess, testing_support::Patience(60000));
        if (waited != WAIT_OBJECT_0) TerminateProcess(child.hProcess, 1);
        DWORD code = 0;
        GetExitCodeProcess(child.hProcess, &code);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
        ASSERT_EQ(waited, WAIT_OBJECT_0) << "the helper hung";
        EXPECT_EQ(code, 0xFFFFFFFFu);
        if (replacing) {
            EXPECT_EQ(InBase(), (std::set<std::string>{"item.bin"}));
            EXPECT_EQ(ReadText(base_ / "item.bin"), "the copy already installed");
        } else {
            EXPECT_EQ(InBase(), std::set<std::string>{});
        }
    }
}

}  // namespace
}  // namespace varnel
