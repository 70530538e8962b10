#include <gtest/gtest.h>

#include <objidl.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstring>

#include "install/launch.h"
#include "install/record.h"
#include "install/shortcut.h"
#include "platform/paths.h"
#include "startup/text.h"
#include "test_support.h"

using namespace varnel;
using namespace testing_support;

namespace {

TEST(SpecialFolderPath, DocumentsAndDesktopWithTrailingBackslash) {
    for (int kind : {kDocumentsFolder, kDesktopFolder}) {
        const std::string path = SpecialFolderPath(kind);
        ASSERT_FALSE(path.empty()) << kind;
        EXPECT_EQ(path.back(), '\\') << path;
        EXPECT_TRUE(IsDir(path)) << path;
    }
    EXPECT_NE(SpecialFolderPath(kDocumentsFolder), SpecialFolderPath(kDesktopFolder));
    EXPECT_EQ(SpecialFolderPath(2), "");
}

class RecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = InstallPathRecordPath();
        had_ = Exists(path_);
        if (had_) old_ = ReadAll(path_);
        DeleteFileA(path_.c_str());
    }
    void TearDown() override {
        if (had_) WriteAll(path_, old_);
        else DeleteFileA(path_.c_str());
    }
    MachineLock lock_;
    std::string path_;
    bool had_ = false;
    std::string old_;
};

TEST_F(RecordTest, LivesInDocuments) {
    EXPECT_EQ(path_, SpecialFolderPath(kDocumentsFolder) + "varnel_install_path.txt");
}

TEST_F(RecordTest, HoldsExactlyTheDirectoryBytes) {
    EXPECT_TRUE(WriteInstallPathRecord("D:\\varnel"));
    EXPECT_EQ(ReadAll(path_), "D:\\varnel");
    EXPECT_EQ(ReadInstallPathRecord(), "D:\\varnel");
    // Replaces a longer record completely; GBK bytes stay as they are.
    EXPECT_TRUE(WriteInstallPathRecord("C:\\游戏"));
    EXPECT_EQ(ReadAll(path_), "C:\\\xD3\xCE\xCF\xB7");
    EXPECT_EQ(ReadInstallPathRecord(), "C:\\游戏");
}

TEST_F(RecordTest, MissingEmptyAndZeroByteRecords) {
    EXPECT_EQ(ReadInstallPathRecord(), "");
    WriteAll(path_, "");
    EXPECT_EQ(ReadInstallPathRecord(), "");
    WriteAll(path_, std::string("E:\\x\0junk", 9));
    EXPECT_EQ(ReadInstallPathRecord(), "E:\\x");
    EXPECT_TRUE(WriteInstallPathRecord(""));
    EXPECT_EQ(ReadAll(path_), "");
    // A long record is read whole.
    const std::string longPath = "D:\\" + std::string(9000, 'a');
    EXPECT_TRUE(WriteInstallPathRecord(longPath));
    EXPECT_EQ(ReadInstallPathRecord(), longPath);
}

TEST_F(RecordTest, RecordHeldOpenByAnotherIsLeftAlone) {
    WriteAll(path_, "D:\\old");
    HANDLE holder = CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteInstallPathRecord("D:\\new"));
    EXPECT_EQ(ReadInstallPathRecord(), "");  // unreadable while held
    CloseHandle(holder);
    EXPECT_EQ(ReadAll(path_), "D:\\old");
}

// Points the user's Documents folder elsewhere for one scope; the shell
// folder values are put back as they were.
class DocumentsElsewhere {
public:
    explicit DocumentsElsewhere(const std::string& folder) {
        for (Saved& saved : saved_) {
            saved.had = RegGetValueW(HKEY_CURRENT_USER, saved.key, L"Personal", RRF_RT_ANY | RRF_NOEXPAND, &saved.type,
                                     saved.data, &saved.size) == ERROR_SUCCESS;
        }
        const std::wstring wide = ToWide(folder);
        RegSetKeyValueW(HKEY_CURRENT_USER, saved_[0].key, L"Personal", REG_SZ, wide.c_str(),
                        static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    }
    ~DocumentsElsewhere() {
        for (const Saved& saved : saved_) {
            if (saved.had) RegSetKeyValueW(HKEY_CURRENT_USER, saved.key, L"Personal", saved.type, saved.data, saved.size);
            else RegDeleteKeyValueW(HKEY_CURRENT_USER, saved.key, L"Personal");
        }
    }
    DocumentsElsewhere(const DocumentsElsewhere&) = delete;
    DocumentsElsewhere& operator=(const DocumentsElsewhere&) = delete;

private:
    struct Saved {
        const wchar_t* key;
        bool had = false;
        DWORD type = 0, size = sizeof(data);
        BYTE data[2048] = {};
    };
    Saved saved_[2] = {{L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"},
                       {L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"}};
};

// A Documents folder deep enough that the record's own path is past MAX_PATH.
TEST_F(RecordTest, KeptInADocumentsFolderNearMaxPath) {
    TempDir temp;
    std::string deep = temp.Path();
    constexpr std::size_t kLength = MAX_PATH - 16;
    while (deep.size() < kLength) {
        deep.append("\\").append(std::min<std::size_t>(60, kLength - deep.size()), 'd');
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + ToWide(deep)).c_str(), nullptr));
    }
    const DocumentsElsewhere documents(deep);
    ASSERT_EQ(SpecialFolderPath(kDocumentsFolder), deep + "\\");
    ASSERT_GT(InstallPathRecordPath().size(), std::size_t{MAX_PATH});
    EXPECT_TRUE(WriteInstallPathRecord("D:\\varnel"));
    EXPECT_EQ(ReadAll(InstallPathRecordPath()), "D:\\varnel");
    EXPECT_EQ(ReadInstallPathRecord(), "D:\\varnel");
}

// Reads a link back through the shell's own interfaces.
struct LinkFields {
    std::wstring path, workingDirectory, arguments, description, iconLocation;
    int iconIndex = -1;
    WORD hotKey = 0xFFFF;
    int showCommand = -1;
    // From the file's own header (0x4C bytes), without the shell.
    int headerShowCommand = -1;
    WORD headerHotKey = 0xFFFF;
};

LinkFields ReadLink(const std::wstring& file) {
    LinkFields fields;
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
                wchar_t buffer[MAX_PATH * 2] = {};
                link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH);
                fields.path = buffer;
                buffer[0] = 0;
                link->GetWorkingDirectory(buffer, MAX_PATH);
                fields.workingDirectory = buffer;
                buffer[0] = 0;
                link->GetArguments(buffer, MAX_PATH);
                fields.arguments = buffer;
                buffer[0] = 0;
                link->GetDescription(buffer, MAX_PATH);
                fields.description = buffer;
                buffer[0] = 0;
                link->GetIconLocation(buffer, MAX_PATH, &fields.iconIndex);
                fields.iconLocation = buffer;
                link->GetHotkey(&fields.hotKey);
                link->GetShowCmd(&fields.showCommand);
            }
            persist->Release();
        }
        link->Release();
    }
    CoUninitialize();
    const std::string bytes = ReadAll(Utf16ToText(file));
    if (bytes.size() >= 0x4C && bytes[0] == 0x4C) {
        std::memcpy(&fields.headerShowCommand, bytes.data() + 0x3C, 4);
        std::memcpy(&fields.headerHotKey, bytes.data() + 0x40, 2);
    }
    return fields;
}

TEST(CreateShortcut, WritesEveryGivenField) {
    TempDir temp;
    const std::wstring file = ToWide(temp / "all.lnk");
    ShortcutFields fields;
    fields.linkPath = file;
    fields.target = L"D:\\Apps\\游戏\\varnel.exe";
    fields.arguments = L"--quiet";
    fields.iconLocation = L"C:\\windows\\system32\\shell32.dll";
    fields.workingDirectory = L"C:\\work";
    fields.hotKey = MAKEWORD('V', 0x06);  // Ctrl+Alt+V
    fields.showCommand = SW_SHOWMAXIMIZED;
    fields.description = L"Varnel 测试";
    ASSERT_TRUE(CreateShortcut(fields));
    const LinkFields read = ReadLink(file);
    EXPECT_EQ(read.path, fields.target);
    EXPECT_EQ(read.workingDirectory, L"C:\\work");
    EXPECT_EQ(read.arguments, L"--quiet");
    EXPECT_EQ(read.iconLocation, fields.iconLocation);
    EXPECT_EQ(read.iconIndex, 0);
    EXPECT_EQ(read.hotKey, fields.hotKey);
    EXPECT_EQ(read.headerHotKey, fields.hotKey);
    // Wine's shell link does not give the stored show command back; the
    // file holds it.
    EXPECT_EQ(read.headerShowCommand, SW_SHOWMAXIMIZED);
    EXPECT_EQ(read.description, L"Varnel 测试");
}

TEST(CreateShortcut, DefaultsForWhatIsNotGiven) {
    TempDir temp;
    const std::wstring file = ToWide(temp / "plain.lnk");
    ShortcutFields fields;
    fields.linkPath = TextToUtf16(temp / "plain.lnk", false);  // with its terminator, as the installer passes it
    fields.target = TextToUtf16("D:\\varnel\\varnel.exe", false);
    ASSERT_TRUE(CreateShortcut(fields));
    const LinkFields read = ReadLink(file);
    EXPECT_EQ(read.path, L"D:\\varnel\\varnel.exe");
    EXPECT_EQ(read.workingDirectory, L"D:\\varnel");
    EXPECT_EQ(read.arguments, L"");
    EXPECT_EQ(read.iconLocation, L"");
    EXPECT_EQ(read.hotKey, 0);
    EXPECT_EQ(read.showCommand, SW_SHOWNORMAL);
    EXPECT_EQ(read.headerShowCommand, SW_SHOWNORMAL);
    EXPECT_EQ(read.headerHotKey, 0);
    EXPECT_EQ(read.description, L"");
}

TEST(CreateShortcut, UnwritableLinkIsReportedAsFailure) {
    ShortcutFields fields;
    fields.linkPath = L"Q:\\nowhere\\x.lnk";
    fields.target = L"D:\\varnel\\varnel.exe";
    EXPECT_FALSE(CreateShortcut(fields));
    fields.linkPath.clear();
    EXPECT_FALSE(CreateShortcut(fields));
}

TEST(CreateDesktopShortcut, VarnelLinkOnTheDesktopReplacesAnOldOne) {
    MachineLock lock;
    const std::string link = SpecialFolderPath(kDesktopFolder) + "Varnel.lnk";
    const bool had = Exists(link);
    const std::string old = had ? ReadAll(link) : "";
    WriteAll(link, "not a link");
    ASSERT_TRUE(CreateDesktopShortcut("D:\\varnel"));
    const LinkFields read = ReadLink(ToWide(link));
    EXPECT_EQ(read.path, L"D:\\varnel\\varnel.exe");
    EXPECT_EQ(read.workingDirectory, L"D:\\varnel");
    EXPECT_EQ(read.description, L"Varnel");
    EXPECT_EQ(read.showCommand, SW_SHOWNORMAL);
    EXPECT_EQ(read.headerShowCommand, SW_SHOWNORMAL);
    EXPECT_EQ(read.arguments, L"");
    if (had) WriteAll(link, old);
    else DeleteFileA(link.c_str());
}

class LaunchTest : public ::testing::Test {
protected:
    DWORD RunLauncher(const std::string& directory) {
        PROCESS_INFORMATION info = Start(HelperPath(), "launch \"" + directory + "\"");
        EXPECT_NE(info.hProcess, nullptr);
        EXPECT_EQ(WaitForSingleObject(info.hProcess, Patience(30000)), WAIT_OBJECT_0);
        DWORD code = 99;
        GetExitCodeProcess(info.hProcess, &code);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        return code;
    }
    MachineLock lock_;  // the launched program is a varnel.exe
    TempDir temp_;
};

TEST_F(LaunchTest, TheDesktopShellStartsVarnelExeInTheInstallersDirectoryAndItEndsWithZero) {
    const std::string directory = temp_ / "installed";
    CreateDirectoryA(directory.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(HelperPath().c_str(), (directory + "\\varnel.exe").c_str(), FALSE));
    EXPECT_EQ(RunLauncher(directory), 0u);
    ASSERT_TRUE(WaitForFile(directory + "\\varnel.exe.started", 20000));
    // Started by the shell, so with the user's own rights, not the
    // installer's; in the directory the installer ran in (its own folder).
    std::string marker;
    for (DWORD i = 0; i < Patience(50) && marker.find('\n') == std::string::npos; ++i, Sleep(100))
        marker = ReadAll(directory + "\\varnel.exe.started");
    EXPECT_EQ(marker, "explorer.exe\n" + ProgramFolder() + "\n");
    // Let the started copy finish before the folder goes.
    for (int i = 0; i < 100 && !DeleteFileA((directory + "\\varnel.exe").c_str()); ++i) Sleep(100);
}

TEST_F(LaunchTest, EndsWithZeroAlsoWhenTheStartFails) {
    EXPECT_EQ(RunLauncher(temp_ / "empty"), 0u);
}

}  // namespace

namespace {

// Wine's per-program Windows version: a copy of the helper that believes it
// runs on Windows XP (5.1) gets no folder dialog at all.
TEST(PickFolder, NoDialogBeforeWindowsSix) {
    TempDir temp;
    const std::string name = "varnel_xp_probe.exe";
    const std::string probe = temp / name;
    ASSERT_TRUE(CopyFileA(HelperPath().c_str(), probe.c_str(), FALSE));
    const std::string key = "Software\\Wine\\AppDefaults\\" + name;
    HKEY appKey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &appKey, nullptr), 0);
    RegSetValueExA(appKey, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("winxp"), 6);
    RegCloseKey(appKey);

    auto run = [&](const std::string& arguments) {
        PROCESS_INFORMATION info = Start(probe, arguments);
        EXPECT_NE(info.hProcess, nullptr);
        // A dialog would keep it open: it must end by itself.
        const bool ended = WaitForSingleObject(info.hProcess, Patience(30000)) == WAIT_OBJECT_0;
        if (!ended) TerminateProcess(info.hProcess, 1);
        DWORD code = 99;
        GetExitCodeProcess(info.hProcess, &code);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        return ended ? code : 1000u;
    };
    EXPECT_EQ(run("version \"" + (temp / "version.txt") + "\""), 0u);
    EXPECT_EQ(ReadAll(temp / "version.txt"), "501");
    EXPECT_EQ(run("pick \"" + (temp / "picked.txt") + "\""), 0u);
    EXPECT_EQ(ReadAll(temp / "picked.txt"), "");
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
}

}  // namespace
