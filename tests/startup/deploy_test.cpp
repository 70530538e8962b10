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

TEST_F(DeployFolder, TheVerifiedFileStaysUnchangeableUntilItIsLoaded) {
    for (const bool existed : {false, true}) {
        const FileHandle held = EnsureUiLibraryFile(path, image);
        ASSERT_TRUE(held) << existed;
        // Another program may read it but neither write, rename nor delete it.
        HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(reader, INVALID_HANDLE_VALUE);
        CloseHandle(reader);
        HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
        if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
        EXPECT_FALSE(DeleteFileA(path.c_str()));
        EXPECT_FALSE(MoveFileA(path.c_str(), (path + ".old").c_str()));
        EXPECT_EQ(Contents(), image);
    }
}

TEST(UiLibraryImage, OnlyAPeImageIsDeployed) {
    EXPECT_FALSE(LooksLikePeImage({}));
    const std::string placeholder = "placeholder";
    EXPECT_FALSE(LooksLikePeImage({reinterpret_cast<const std::uint8_t*>(placeholder.data()), placeholder.size()}));
    Bytes header(0x80, 0);
    header[0] = 'M', header[1] = 'Z', header[0x3C] = 0x7C;
    EXPECT_FALSE(LooksLikePeImage(header));  // "PE" missing
    header[0x7C] = 'P', header[0x7D] = 'E';
    EXPECT_TRUE(LooksLikePeImage(header));
    header[0x3C] = 0x7E;  // points past the end
    EXPECT_FALSE(LooksLikePeImage(header));

    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const FileHandle library(CreateFileA((std::string(self) + "\\..\\..\\XCGUI.dll").c_str(), GENERIC_READ,
                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(library);
    Bytes built(GetFileSize(library.Get(), nullptr));
    DWORD read = 0;
    ReadFile(library.Get(), built.data(), static_cast<DWORD>(built.size()), &read, nullptr);
    EXPECT_TRUE(LooksLikePeImage(built));
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
