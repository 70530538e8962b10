#include <gtest/gtest.h>

#include <windows.h>

#include "startup/deploy.h"
#include "startup/text.h"

using namespace varnel;

namespace {

struct DeployFolder : ::testing::Test {
    std::string folder;
    std::string path;
    Bytes image = Bytes(300000, 0x5A);

    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "varnel_deploy_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder.c_str(), nullptr);
        path = folder + "\\XCGUI.dll";
        image[1234] = 7;
    }
    void TearDown() override {
        DeleteFileA(path.c_str());
        RemoveDirectoryA(path.c_str());
        RemoveDirectoryA(folder.c_str());
    }
    FILETIME WriteTime() const {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
        return data.ftLastWriteTime;
    }
    Bytes Contents() const {
        Bytes bytes(image.size() + 10);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD read = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        CloseHandle(file);
        bytes.resize(read);
        return bytes;
    }
};

}  // namespace

TEST_F(DeployFolder, MissingFileIsWrittenByteIdentical) {
    EXPECT_TRUE(EnsureUiLibraryFile(path, image));
    EXPECT_EQ(Contents(), image);
}

TEST_F(DeployFolder, OurOwnFileIsNeverRewritten) {
    ASSERT_TRUE(EnsureUiLibraryFile(path, image));
    const SYSTEMTIME day{2020, 1, 3, 1, 12, 0, 0, 0};
    FILETIME old{};
    SystemTimeToFileTime(&day, &old);
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &old);
    CloseHandle(file);
    EXPECT_TRUE(EnsureUiLibraryFile(path, image));
    const FILETIME now = WriteTime();
    EXPECT_EQ(CompareFileTime(&old, &now), 0);
}

TEST_F(DeployFolder, AForeignFileIsReplaced) {
    Bytes foreign = image;
    foreign[5] ^= 1;
    ASSERT_TRUE(WriteBufferToFile(path, foreign));
    EXPECT_TRUE(EnsureUiLibraryFile(path, image));
    EXPECT_EQ(Contents(), image);
    ASSERT_TRUE(WriteBufferToFile(path, Bytes(10, 1)));  // shorter
    EXPECT_TRUE(EnsureUiLibraryFile(path, image));
    EXPECT_EQ(Contents(), image);
}

TEST_F(DeployFolder, AFolderInTheWayIsRefused) {
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    EXPECT_FALSE(EnsureUiLibraryFile(path, image));
}

TEST_F(DeployFolder, AForeignFileThatCannotBeReplacedIsRefused) {
    ASSERT_TRUE(WriteBufferToFile(path, Bytes(10, 1)));
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(EnsureUiLibraryFile(path, image));
    CloseHandle(held);
}
