#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "platform/paths.h"
#include "startup/text.h"
#include "test_support.h"

using namespace varnel;
using namespace testing_support;

namespace {

constexpr const char* kGames = "游戏";  // GBK: D3 CE CF B7

TEST(Utf16ToText, GivesGbkUpToTheFirstZero) {
    EXPECT_EQ(Utf16ToText(L""), "");
    EXPECT_EQ(Utf16ToText(std::wstring_view(L"\0abc", 4)), "");
    EXPECT_EQ(Utf16ToText(std::wstring_view(L"ab\0cd", 5)), "ab");
    EXPECT_EQ(Utf16ToText(L"游戏"), "\xD3\xCE\xCF\xB7");
    EXPECT_EQ(Utf16ToText(TextToUtf16("D:\\游戏\\varnel", false)), "D:\\游戏\\varnel");
}

TEST(Utf16ToText, CharacterOutsideGbkBecomesTheDefaultCharacter) {
    const std::string text = Utf16ToText(L"a\u0E01b");  // Thai: not in GBK
    EXPECT_EQ(text.size(), 3u);
    EXPECT_EQ(text.front(), 'a');
    EXPECT_EQ(text.back(), 'b');
}

TEST(CopyWideString, CopiesWithTheTerminator) {
    EXPECT_EQ(CopyWideString(nullptr), L"");
    EXPECT_EQ(CopyWideString(L""), L"");
    const std::wstring copy = CopyWideString(L"abc");
    EXPECT_EQ(copy.size(), 4u);
    EXPECT_EQ(copy, std::wstring(L"abc\0", 4));
}

TEST(DropLastCharacters, CountsUtf16CharactersNotBytes) {
    EXPECT_EQ(DropLastCharacters(kGames, 1), "游");
    EXPECT_EQ(DropLastCharacters("C:\\x\\", 1), "C:\\x");
    EXPECT_EQ(DropLastCharacters("abc", 0), "abc");
    EXPECT_EQ(DropLastCharacters("abc", 3), "");
    EXPECT_EQ(DropLastCharacters("abc", 7), "");
    EXPECT_EQ(DropLastCharacters("", 1), "");
    EXPECT_EQ(DropLastCharacters("abc", -2), "abc");
}

TEST(CreateDirectoryTree, CreatesEveryMissingLevel) {
    TempDir temp;
    const std::string deep = temp / "a\\b\\c";
    EXPECT_TRUE(CreateDirectoryTree(deep));
    EXPECT_TRUE(IsDir(temp / "a"));
    EXPECT_TRUE(IsDir(temp / "a\\b"));
    EXPECT_TRUE(IsDir(deep));
    // Chinese names go through the GBK conversion.
    EXPECT_TRUE(CreateDirectoryTree(temp / "游戏\\子目录"));
    EXPECT_TRUE(IsDir(temp / "游戏\\子目录"));
}

TEST(CreateDirectoryTree, ForwardSlashesAreOneLevel) {
    TempDir temp;
    std::string base = temp.Path();
    // Only backslashes separate levels: the missing x is not made.
    EXPECT_FALSE(CreateDirectoryTree(base + "/x/y"));
    EXPECT_FALSE(Exists(temp / "x"));
    // With the parent there, the last level is made in one call.
    ASSERT_TRUE(CreateDirectoryA((temp / "x").c_str(), nullptr));
    EXPECT_TRUE(CreateDirectoryTree(base + "/x/y"));
    EXPECT_TRUE(IsDir(temp / "x\\y"));
}

TEST(CreateDirectoryTree, ShortPathsExistingEntriesAndRoots) {
    TempDir temp;
    ASSERT_TRUE(SetCurrentDirectoryA(temp.Path().c_str()));
    EXPECT_FALSE(CreateDirectoryTree("zq"));  // fewer than three characters: nothing made
    EXPECT_FALSE(Exists(temp / "zq"));
    EXPECT_FALSE(CreateDirectoryTree(""));
    EXPECT_TRUE(CreateDirectoryTree("C:\\"));  // the root's own call fails harmlessly
    WriteAll(temp / "file", "x");
    EXPECT_FALSE(CreateDirectoryTree(temp / "file"));
    EXPECT_FALSE(CreateDirectoryTree(temp / "file\\below"));
    ASSERT_TRUE(CreateDirectoryA((temp / "there").c_str(), nullptr));
    EXPECT_TRUE(CreateDirectoryTree(temp / "there"));
    EXPECT_TRUE(CreateDirectoryTree(temp / "there\\"));
    SetCurrentDirectoryA(ProgramFolder().c_str());
}

TEST(CreateDirectoryTree, OnlyTheFoldersItMakesGetTheInstallFolderSecurity) {
    // The descriptor, entry by entry: protected, three inheritable grants.
    const InstallFolderSecurity security;
    ASSERT_NE(security.Get(), nullptr);
    LPWSTR sddl = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(
        security.Get()->lpSecurityDescriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, nullptr));
    EXPECT_STREQ(sddl, L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)");
    LocalFree(sddl);
    EXPECT_EQ(security.Get()->bInheritHandle, FALSE);

    // A chosen folder that exists (a user's own) is not made, so keeps what
    // it has; only the levels below it are made with the descriptor.
    TempDir temp;
    ASSERT_TRUE(CreateDirectoryA((temp / "游戏").c_str(), nullptr));
    std::vector<std::string> created;
    EXPECT_TRUE(CreateDirectoryTree(temp / "游戏\\varnel\\bin", security.Get(), &created));
    EXPECT_EQ(created, (std::vector<std::string>{temp / "游戏\\varnel", temp / "游戏\\varnel\\bin"}));
    created.clear();
    EXPECT_TRUE(CreateDirectoryTree(temp / "游戏\\varnel", security.Get(), &created));
    EXPECT_TRUE(created.empty());
}

TEST(CreateDirectoryTree, MissingDriveFails) {
    // Q: is not mapped in the prefix.
    EXPECT_FALSE(CreateDirectoryTree("Q:\\varnel\\x"));
}

TEST(IsDirectory, OnlyDirectories) {
    TempDir temp;
    WriteAll(temp / "f.txt", "1");
    EXPECT_TRUE(IsDirectory(TextToUtf16(temp.Path(), false)));
    EXPECT_FALSE(IsDirectory(TextToUtf16(temp / "f.txt", false)));
    EXPECT_FALSE(IsDirectory(TextToUtf16(temp / "none", false)));
    EXPECT_FALSE(IsDirectory(L""));
}

TEST(FileTitle, LastComponentOrEmpty) {
    const struct {
        const char* path;
        const char* title;
    } cases[] = {
        {"D:\\Games\\varnel", "varnel"},      // missing: taken as a directory
        {"D:\\Games\\varnel\\", ""},          // trailing backslash: no title
        {"D:\\", ""},
        {"", ""},
        {"D:\\Games\\Varnel", "Varnel"},
        {"D:\\游戏\\安装", "安装"},
        {"varnel", "varnel"},
        {"D:/Games/varnel", "varnel"},
    };
    for (const auto& c : cases) EXPECT_EQ(FileTitle(c.path), c.title) << c.path;
}

class HideFileExtSetting {
public:
    explicit HideFileExtSetting(DWORD value) {
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        DWORD size = sizeof(old_);
        had_ = RegQueryValueExW(key_, L"HideFileExt", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_), &size) == 0;
        RegSetValueExW(key_, L"HideFileExt", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }
    ~HideFileExtSetting() {
        if (had_) {
            RegSetValueExW(key_, L"HideFileExt", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof(old_));
        } else {
            RegDeleteValueW(key_, L"HideFileExt");
        }
        RegCloseKey(key_);
    }

private:
    static constexpr const wchar_t* kKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
    HKEY key_ = nullptr;
    DWORD old_ = 0;
    bool had_ = false;
};

TEST(FileTitle, ExistingFileKeepsItsExtensionWhateverTheExplorerSetting) {
    MachineLock lock;  // the setting is per user
    TempDir temp;
    WriteAll(temp / "setup.exe", "MZ");
    ASSERT_TRUE(CreateDirectoryA((temp / "dir.d").c_str(), nullptr));
    for (DWORD hide : {0u, 1u}) {
        HideFileExtSetting setting(hide);
        EXPECT_EQ(FileTitle(temp / "setup.exe"), "setup.exe") << "HideFileExt " << hide;
        EXPECT_EQ(FileTitle(temp / "dir.d"), "dir.d") << "HideFileExt " << hide;
    }
}

TEST(FileTitle, ExtensionComesBackOnlyWhenMissing) {
    EXPECT_EQ(TitleWithExtension(L"setup", L".exe"), L"setup.exe");
    EXPECT_EQ(TitleWithExtension(L"setup.exe", L".exe"), L"setup.exe");
    EXPECT_EQ(TitleWithExtension(L"SETUP.EXE", L".exe"), L"SETUP.EXE");
    EXPECT_EQ(TitleWithExtension(L"setup", L""), L"setup");
    EXPECT_EQ(TitleWithExtension(L"", L".exe"), L".exe");
}

TEST(Is64BitWindows, FalseInTheThirtyTwoBitPrefixTrueInA64BitProcess) {
    // The i686 tests run on a 32-bit prefix, where GetSystemWow64DirectoryA
    // exists but fails, as on 32-bit Windows; the x86_64 tests run on a
    // 64-bit prefix, where only 64-bit Windows could have started them.
    EXPECT_EQ(Is64BitWindows(), sizeof(void*) == 8);
}

class RegistryFixture : public ::testing::Test {
protected:
    static constexpr const char* kSubkey = "Software\\VarnelPlatformTest";
    void SetUp() override {
        RegCreateKeyExA(HKEY_CURRENT_USER, kSubkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    }
    void TearDown() override {
        RegCloseKey(key_);
        RegDeleteKeyA(HKEY_CURRENT_USER, kSubkey);
    }
    void Set(const char* name, DWORD type, const void* data, DWORD size) {
        RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size);
    }
    HKEY key_ = nullptr;
};

TEST_F(RegistryFixture, ReadsAtMostFourBytes) {
    const DWORD dword = 0x12345678;
    const unsigned long long qword = 0x1111111122222222ull;
    const unsigned char two[] = {1, 2};
    Set("dword", REG_DWORD, &dword, sizeof(dword));
    Set("qword", REG_QWORD, &qword, sizeof(qword));
    Set("two", REG_BINARY, two, sizeof(two));
    Set("text", REG_SZ, "abcdefgh", 9);
    EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kSubkey, "dword", false), 0x12345678u);
    EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kSubkey, "dword", true), 0x12345678u);
    EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kSubkey, "two", false), 0x0201u);
    // Longer values do not fit and read as 0 rather than spilling over.
    EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kSubkey, "qword", false), 0u);
    EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kSubkey, "text", false), 0u);
    EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kSubkey, "missing", false), 0u);
    EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, "Software\\VarnelNoSuchKey", "dword", false), 0u);
    EXPECT_EQ(ReadRegistryDword(nullptr, kSubkey, "dword", false), 0u);
}

TEST(GbkCharacters, BackslashAsSecondByteIsNoBackslash) {
    const std::string trail = "D:\\\x81\x5C";  // the second byte of the character is 0x5C
    EXPECT_FALSE(EndsWithBackslash(trail));
    EXPECT_TRUE(EndsWithBackslash(trail + "\\"));
    EXPECT_TRUE(EndsWithBackslash("C:\\"));
    EXPECT_FALSE(EndsWithBackslash(""));
    EXPECT_TRUE(IsCharacterStart(trail, 3));
    EXPECT_FALSE(IsCharacterStart(trail, 4));
}

}  // namespace
