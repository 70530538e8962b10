#include <gtest/gtest.h>

#include "install/location.h"
#include "install/record.h"
#include "test_support.h"

using namespace varnel;
using namespace testing_support;

namespace {

using Letters = std::vector<std::string>;

TEST(DriveLetters, OneTextPerRoot) {
    using namespace std::string_view_literals;
    EXPECT_EQ(DriveLettersFromRoots(""sv), Letters{});
    EXPECT_EQ(DriveLettersFromRoots("C:\\\0"sv), (Letters{"C"}));
    EXPECT_EQ(DriveLettersFromRoots("C:\\\0D:\\\0"sv), (Letters{"C", "D"}));
    EXPECT_EQ(DriveLettersFromRoots("A:\\\0C:\\\0Q:\\\0"sv), (Letters{"A", "C", "Q"}));
    EXPECT_EQ(DriveLettersFromRoots("C:\\"sv), (Letters{"C"}));  // no final zero
    EXPECT_EQ(DriveLettersFromRoots("\0\0\0"sv), Letters{});    // an untouched buffer
}

TEST(DriveDefaultDirectory, SecondDriveWhenThereAreSeveral) {
    EXPECT_EQ(DriveDefaultDirectory(Letters{}), "");
    EXPECT_EQ(DriveDefaultDirectory(Letters{"C"}), "C:\\varnel");
    EXPECT_EQ(DriveDefaultDirectory(Letters{"C", "D"}), "D:\\varnel");
    EXPECT_EQ(DriveDefaultDirectory(Letters{"C", "D", "E"}), "D:\\varnel");
}

// A machine's drives as the default sees them: letter, type, media.
DriveProbe Machine(std::string drives) {
    return {[drives](char letter) {
                switch (drives[drives.find(letter) + 1]) {
                case 'f': return DriveType::Fixed;
                case 'r': return DriveType::Removable;
                case 'o': return DriveType::Optical;
                default: return DriveType::Other;
                }
            },
            [drives](char letter) { return drives[drives.find(letter) + 2] == '+'; }};
}

TEST(DriveDefaultDirectory, OnlyDrivesThatCanHoldAnInstall) {
    const struct {
        Letters letters;
        const char* drives;  // per drive: letter, f(ixed)/r(emovable)/o(ptical)/n(etwork), +/- media
        const char* want;
    } cases[] = {
        {{"C", "D"}, "Cf+Df+", "D:\\varnel"},
        {{"C", "D", "E"}, "Cf+Do+Ef+", "E:\\varnel"},          // a DVD drive as D:
        {{"C", "D"}, "Cf+Do+", "C:\\varnel"},                   // a DVD with a disc in it
        {{"C", "D"}, "Cf+Dr-", "C:\\varnel"},                   // a card reader without a card
        {{"C", "D"}, "Cf+Dr+", "D:\\varnel"},                   // a USB disk, the only other drive
        {{"C", "D", "E"}, "Cf+Dr+Eo+", "C:\\varnel"},           // ... beside a DVD with a disc
        {{"C", "D", "E"}, "Cf+Dr+Er-", "D:\\varnel"},           // ... beside an empty reader
        {{"C", "D", "Z"}, "Cf+Dr+Zn+", "C:\\varnel"},           // ... beside a network share
        {{"A", "C", "D"}, "Ar-Cf+Df+", "D:\\varnel"},           // a floppy drive first
        {{"C"}, "Cf+", "C:\\varnel"},
        {{"D", "E"}, "Do+Er+", "E:\\varnel"},                   // no fixed drive: the second drive
        {{}, "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(DriveDefaultDirectory(c.letters, Machine(c.drives)), c.want) << c.drives;
}

TEST(DriveDefaultDirectory, ThisPrefixHasCAndD) {
    Letters letters{"stale"};
    EXPECT_EQ(ListDriveLetters(letters), 2);
    EXPECT_EQ(letters, (Letters{"C", "D"}));
    EXPECT_EQ(DriveDefaultDirectory(), "D:\\varnel");
}

TEST(HasSpecialCharacters, OnlySpaceAndHyphen) {
    const struct {
        const char* text;
        bool refused;
    } cases[] = {
        {"D:\\My Games", true},  {"D:\\tools-x", true}, {"-", true},
        {"D:\\my_games", false}, {"D:\\游戏", false},   {"D:\\全　角", false},  // full-width space
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(HasSpecialCharacters(c.text), c.refused) << c.text;
}

TEST(IsValidInstallLocation, DriveLetterThenColonAndSlash) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"c:\\x", true},       {"C:\\", true},        {"x:/y", true},     {"Z:\\a\\b", true},
        {"Cx:\\", true},       // the colon need not be second
        {"1:\\x", false},      {"\\\\server\\share", false}, {"varnel", false}, {"C:x", false},
        {"[:\\", false},       {"@:\\", false},       {"游:\\", false},    {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsValidInstallLocation(c.text), c.valid) << c.text;
}

TEST(FinaliseInstallDirectory, EndsInVarnelWithSingleBackslashes) {
    const struct {
        const char* text;
        const char* final;
    } cases[] = {
        {"C:\\", "C:\\varnel"},
        {"D:\\Games", "D:\\Games\\varnel"},
        {"D:\\Games\\varnel", "D:\\Games\\varnel"},
        {"D:\\Games\\varnel\\", "D:\\Games\\varnel\\varnel"},  // no title after a backslash
        {"D:\\Games\\Varnel", "D:\\Games\\Varnel\\varnel"},
        {"D:\\\\Games\\\\\\x", "D:\\Games\\x\\varnel"},
        {"D:\\游戏", "D:\\游戏\\varnel"},
    };
    for (const auto& c : cases) {
        const std::string result = FinaliseInstallDirectory(c.text);
        EXPECT_EQ(result, c.final) << c.text;
        EXPECT_EQ(result.find("\\\\"), std::string::npos) << c.text;
    }
}

TEST(FinaliseInstallDirectory, NeverSplitsADoubleByteCharacter) {
    // 0x81 0x5C is one character whose second byte equals the backslash.
    const std::string character = "\x81\x5C";
    EXPECT_EQ(FinaliseInstallDirectory("D:\\" + character + "\\\\x"), "D:\\" + character + "\\x\\varnel");
    EXPECT_EQ(ReplaceDoubleBackslashes("D:\\" + character + "\\"), "D:\\" + character + "\\");
}

TEST(ReplaceDoubleBackslashes, OnePassLeftToRight) {
    EXPECT_EQ(ReplaceDoubleBackslashes("a\\\\b"), "a\\b");
    EXPECT_EQ(ReplaceDoubleBackslashes("a\\\\\\b"), "a\\\\b");
    EXPECT_EQ(ReplaceDoubleBackslashes("a\\\\\\\\b"), "a\\\\b");
    EXPECT_EQ(ReplaceDoubleBackslashes(""), "");
}

TEST(InstallDirectoryFromPick, AppendsVarnelUnlessPresent) {
    EXPECT_EQ(InstallDirectoryFromPick("D:\\Games"), "D:\\Games\\varnel");
    EXPECT_EQ(InstallDirectoryFromPick("D:\\Games\\varnel"), "D:\\Games\\varnel");
    EXPECT_EQ(InstallDirectoryFromPick("D:\\"), "D:\\varnel");
    EXPECT_EQ(InstallDirectoryFromPick("C:\\游戏"), "C:\\游戏\\varnel");
}

TEST(FindText, OneBasedPositionsOfWholeCharacters) {
    const std::string trail = "\x81\x5C";
    const struct {
        std::string text, pattern;
        int start;
        bool fold;
        int position;
    } cases[] = {
        {"abc", "b", 1, false, 2},      {"abc", "", 1, false, -1},     {"", "a", 1, false, -1},
        {"aXa", "a", 2, false, 3},      {"aXa", "a", 0, false, 1},     {"aXa", "a", -3, false, 1},
        {"aXa", "a", 4, false, -1},     {"aXa", "a", 99, false, -1},   {"ABC", "b", 1, true, 2},
        {"ABC", "b", 1, false, -1},     {"abc", "BC", 1, true, 2},     {"C:\\x", ":\\", 1, false, 2},
        {trail, "\\", 1, false, -1},    {trail + "\\", "\\", 1, false, 3},
        {"D:\\游戏", "游戏", 1, false, 4},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindText(c.text, c.pattern, c.start, c.fold), c.position)
            << c.text << " / " << c.pattern << " from " << c.start;
    }
}

// The record lives in the prefix user's real Documents folder: keep what
// was there and put it back.
class RecordKeeper {
public:
    RecordKeeper() : path_(InstallPathRecordPath()), had_(Exists(path_)), old_(had_ ? ReadAll(path_) : "") {
        DeleteFileA(path_.c_str());
    }
    ~RecordKeeper() {
        if (had_) WriteAll(path_, old_);
        else DeleteFileA(path_.c_str());
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    bool had_;
    std::string old_;
};

TEST(LoadDefaultInstallDirectory, RecordFirstThenDrive) {
    MachineLock lock;
    RecordKeeper keeper;
    EXPECT_EQ(LoadDefaultInstallDirectory(), "D:\\varnel");
    WriteAll(keeper.Path(), "E:\\Apps\\varnel");  // not tested, even on a missing drive
    EXPECT_EQ(LoadDefaultInstallDirectory(), "E:\\Apps\\varnel");
    WriteAll(keeper.Path(), "");
    EXPECT_EQ(LoadDefaultInstallDirectory(), "D:\\varnel");
    WriteAll(keeper.Path(), std::string("\0E:\\x", 5));
    EXPECT_EQ(LoadDefaultInstallDirectory(), "D:\\varnel");
}

}  // namespace
