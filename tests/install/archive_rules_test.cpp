// The entry rules of the archive reader, checked without an archive.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "install/archive_reader.h"

namespace varnel {
namespace {

std::uint64_t Quad(const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }
std::uint64_t UnixToQuad(std::int64_t seconds) { return (seconds + 11644473600ll) * 10000000ull; }

TEST(ArchiveNameCleaning, DrivesLeadingSeparatorsAndUpSteps) {
    const struct { const char* stored; const char* clean; } cases[] = {
        {"varnel.exe", "varnel.exe"},
        {"C:\\a\\b.dll", "a\\b.dll"},
        {"\\a\\b.dll", "a\\b.dll"},
        {"x/../a/b.dll", "a/b.dll"},
        {"/C:/x", "x"},
        {"\\\\server\\share\\x", "server\\share\\x"},
        {"a/b\\..\\c/../d", "d"},
        {"a/../../x", "../x"},          // still leads out: refused when written
        {"..\\x", "..\\x"},
        {"..", ".."},
        {"C:", ""},
        // 0x95 0x5C is one GBK character: its trail byte is no separator.
        {"\x95\x5C..\\x", "\x95\x5C..\\x"},
    };
    for (const auto& c : cases) EXPECT_EQ(CleanEntryName(c.stored), c.clean) << c.stored;
    EXPECT_EQ(CleanEntryName(std::string_view("a.dll\0../../x", 13)), "a.dll");
}

TEST(ArchiveNameCleaning, NamesLeadingOutOfTheBaseAreRefused) {
    const struct { const char* name; bool fine; } cases[] = {
        {"a.dll", true}, {"sub/x.dll", true}, {"./a.dll", true}, {"console.dll", true}, {"com10.dll", true},
        {"..\\x", false}, {"../x", false}, {"..", false}, {"a/../../x", false}, {"a/.. /x", false},
        {"...", false}, {"CON", false}, {"sub\\nul.txt", false}, {"Com1.dll", false}, {"lpt9", false},
        {"a:b", false}, {"a.dll:stream", false},
    };
    for (const auto& c : cases) EXPECT_EQ(StaysBelowBase(c.name), c.fine) << c.name;
}

TEST(ArchiveEntryAttributes, DosHostsKeepFatBitsOthersReadTheMode) {
    const struct { std::uint32_t madeBy, external, expected; } cases[] = {
        {0x0014, 0x20, 0x20},
        {0x0014, 0x37, 0x37},              // directory, archive, system, hidden, read-only
        {0x0014, 0x80, 0x00},              // a bit without a meaning here
        {0x0B14, 0x21, 0x21},              // NTFS host
        {0x0E14, 0x02, 0x02},              // VFAT host
        {0x0314, 0100644u << 16, 0x20},    // Unix rw-r--r--
        {0x0314, 0100444u << 16, 0x21},    // Unix r--r--r--: read-only
        {0x0314, 040755u << 16, 0x30},     // Unix directory
        {0x1314, 0100644u << 16, 0x20},    // macOS
    };
    for (const auto& c : cases) EXPECT_EQ(EntryAttributes(c.madeBy, c.external), c.expected) << std::hex << c.madeBy;
}

TEST(ArchiveUnixTimes, UtBlockTimesInFlagOrder) {
    // An unrelated block first, then "UT" with all three times.
    const std::vector<std::uint8_t> all = {0x0A, 0x00, 0x02, 0x00, 0xAA, 0xBB,   0x55, 0x54, 0x0D, 0x00, 0x07,
                                           0x00, 0xF1, 0x53, 0x65,   0x10, 0xF1, 0x53, 0x65,   0x20, 0xF1, 0x53, 0x65};
    const UnixTimes times = ReadUnixTimes(all);
    ASSERT_TRUE(times.modification && times.access && times.creation);
    EXPECT_EQ(Quad(*times.modification), UnixToQuad(0x6553F100));
    EXPECT_EQ(Quad(*times.access), UnixToQuad(0x6553F110));
    EXPECT_EQ(Quad(*times.creation), UnixToQuad(0x6553F120));

    // Access only: the first time after the flag is the access time.
    const std::vector<std::uint8_t> access = {0x55, 0x54, 0x05, 0x00, 0x02, 0x00, 0xF1, 0x53, 0x65};
    const UnixTimes accessOnly = ReadUnixTimes(access);
    EXPECT_FALSE(accessOnly.modification);
    ASSERT_TRUE(accessOnly.access);
    EXPECT_EQ(Quad(*accessOnly.access), UnixToQuad(0x6553F100));
}

TEST(ArchiveUnixTimes, ShortOrLyingBlocksGiveOnlyWhatIsThere) {
    // The block claims 13 bytes but the field ends after the first time.
    const std::vector<std::uint8_t> cut = {0x55, 0x54, 0x0D, 0x00, 0x07, 0x00, 0xF1, 0x53, 0x65, 0x10};
    const UnixTimes times = ReadUnixTimes(cut);
    EXPECT_TRUE(times.modification);
    EXPECT_FALSE(times.access);
    EXPECT_FALSE(times.creation);
    EXPECT_FALSE(ReadUnixTimes(std::vector<std::uint8_t>{0x55, 0x54, 0x01, 0x00}).modification);
    EXPECT_FALSE(ReadUnixTimes(std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0x54}).modification);
}

}  // namespace
}  // namespace varnel
