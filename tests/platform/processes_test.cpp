#include <gtest/gtest.h>

#include "platform/processes.h"
#include "test_support.h"

using namespace varnel;
using namespace testing_support;

namespace {

// Copies of the helper under the names the tests look for, each in its own
// folder (the Linux file system may keep VARNEL.EXE and varnel.exe apart).
class RunningCopies : public ::testing::Test {
protected:
    PROCESS_INFORMATION Launch(const std::string& folder, const std::string& name) {
        CreateDirectoryA((temp_ / folder).c_str(), nullptr);
        const std::string path = temp_ / (folder + "\\" + name);
        EXPECT_TRUE(CopyFileW(ToWide(HelperPath()).c_str(), ToWide(path).c_str(), FALSE)) << path;
        PROCESS_INFORMATION info = Start(path, "sleep 120000");
        EXPECT_NE(info.hProcess, nullptr) << path;
        // Running once its marker is there.
        EXPECT_TRUE(WaitForFile(path + ".started", 20000)) << path;
        started_.push_back(info);
        return info;
    }
    static bool Ends(const PROCESS_INFORMATION& info) { return WaitForSingleObject(info.hProcess, Patience(20000)) == WAIT_OBJECT_0; }
    static bool StillRuns(const PROCESS_INFORMATION& info) { return WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT; }

    void TearDown() override {
        for (auto& info : started_) {
            TerminateProcess(info.hProcess, 1);
            WaitForSingleObject(info.hProcess, Patience(20000));
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
    }

    MachineLock lock_;
    TempDir temp_;
    std::vector<PROCESS_INFORMATION> started_;
};

TEST_F(RunningCopies, TwoCopiesAreEndedOneAtATime) {
    EXPECT_FALSE(IsProcessRunning("varnel.exe"));
    const auto first = Launch("a", "varnel.exe");
    const auto second = Launch("b", "varnel.exe");
    EXPECT_TRUE(IsProcessRunning("varnel.exe"));

    const DWORD found = FindProcessIdByName("varnel.exe");
    ASSERT_TRUE(found == first.dwProcessId || found == second.dwProcessId) << found;
    const auto& firstEnded = found == first.dwProcessId ? first : second;
    const auto& other = found == first.dwProcessId ? second : first;

    EXPECT_TRUE(TerminateProcessByName("varnel.exe"));
    EXPECT_TRUE(Ends(firstEnded));
    EXPECT_TRUE(StillRuns(other));
    DWORD exitCode = 99;
    GetExitCodeProcess(firstEnded.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(IsProcessRunning("varnel.exe"));
    EXPECT_EQ(FindProcessIdByName("varnel.exe"), other.dwProcessId);

    EXPECT_TRUE(TerminateProcessByName("varnel.exe"));
    EXPECT_TRUE(Ends(other));
    EXPECT_FALSE(IsProcessRunning("varnel.exe"));
    // Nothing left to end.
    EXPECT_FALSE(TerminateProcessByName("varnel.exe"));
}

TEST_F(RunningCopies, LetterCaseMattersOnlyWhenAskedFor) {
    const auto upper = Launch("c", "VARNEL.EXE");
    EXPECT_TRUE(IsProcessRunning("varnel.exe"));
    EXPECT_EQ(FindProcessIdByName("Varnel.Exe"), upper.dwProcessId);
    EXPECT_FALSE(IsProcessRunning("varnel.exe", true));
    EXPECT_EQ(FindProcessIdByName("varnel.exe", true), 0u);
    EXPECT_EQ(FindProcessIdByName("VARNEL.EXE", true), upper.dwProcessId);
    EXPECT_FALSE(TerminateProcessByName("varnel.exe", true));
    EXPECT_TRUE(StillRuns(upper));
    EXPECT_TRUE(TerminateProcessByName("varnel.exe"));
    EXPECT_TRUE(Ends(upper));
}

TEST_F(RunningCopies, OnlyTheWholeNameMatches) {
    const auto old = Launch("d", "varnel.exe.old");
    EXPECT_FALSE(IsProcessRunning("varnel.exe"));
    EXPECT_FALSE(IsProcessRunning("varnel"));
    EXPECT_FALSE(IsProcessRunning(""));
    EXPECT_EQ(FindProcessIdByName(""), 0u);
    EXPECT_FALSE(TerminateProcessByName("varnel.exe"));
    EXPECT_TRUE(StillRuns(old));
    EXPECT_TRUE(IsProcessRunning("varnel.exe.old"));
}

TEST_F(RunningCopies, DoubleByteNamesCompareAsCharacters) {
    // 0x81 0x41 and 0x81 0x61 are two different characters whose second
    // bytes are 'A' and 'a': a byte-wise case-blind compare would mix them up.
    const std::string upperTrail = std::string("\x81\x41") + ".exe";
    const std::string lowerTrail = std::string("\x81\x61") + ".exe";
    const auto running = Launch("e", upperTrail);
    EXPECT_EQ(FindProcessIdByName(upperTrail), running.dwProcessId);
    EXPECT_EQ(FindProcessIdByName(std::string("\x81\x41") + ".EXE"), running.dwProcessId);
    EXPECT_EQ(FindProcessIdByName(lowerTrail), 0u);
    EXPECT_EQ(FindProcessIdByName("游戏.exe"), 0u);
}

TEST(TerminateProcessById, NoSuchProcess) {
    EXPECT_FALSE(TerminateProcessById(0));
    EXPECT_FALSE(TerminateProcessById(0xFFFFFFF0u));
}

}  // namespace
