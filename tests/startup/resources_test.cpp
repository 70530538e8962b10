#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "startup/program.h"

using namespace varnel;

namespace {

// The installer image, opened as data beside this test's folder.
struct InstallerImage : ::testing::Test {
    HMODULE image = nullptr;
    std::string bin = DirectoryOf(ProgramDirectory());

    void SetUp() override {
        image = LoadLibraryExA((bin + "\\VarnelSetup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(image, nullptr);
    }
    void TearDown() override { FreeLibrary(image); }

    std::string Resource(const char* name, LPCSTR type) const {
        HRSRC found = FindResourceA(image, name, type);
        if (!found) return {};
        const auto* data = static_cast<const char*>(LockResource(LoadResource(image, found)));
        return std::string(data, SizeofResource(image, found));
    }
    static std::string FileBytes(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    std::string VersionString(const char* key) const {
        const std::string block = Resource(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
        std::vector<char> copy(block.begin(), block.end());
        char* value = nullptr;
        UINT length = 0;
        const std::string path = std::string("\\StringFileInfo\\080403a8\\") + key;
        if (!VerQueryValueA(copy.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) return "(none)";
        return std::string(value);
    }
};

}  // namespace

TEST_F(InstallerImage, EmbedsTheThreeBlocksWithTheirExactBytes) {
    EXPECT_EQ(Resource("UI_LIBRARY", MAKEINTRESOURCEA(10)), FileBytes(bin + "\\XCGUI.dll"));
    EXPECT_EQ(Resource("UI_PACKAGE", MAKEINTRESOURCEA(10)), FileBytes(DirectoryOf(bin) + "\\ui_package.zip"));
    EXPECT_EQ(Resource("PAYLOAD", MAKEINTRESOURCEA(10)), FileBytes(DirectoryOf(bin) + "\\payload.zip"));
    EXPECT_GT(Resource("PAYLOAD", MAKEINTRESOURCEA(10)).size(), 100000u);
}

TEST_F(InstallerImage, AsksForAdministratorAndCommonControlsSix) {
    const std::string manifest = Resource(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
    // Its own processor, as Windows checks before it starts the program.
    const char* own = sizeof(void*) == 8 ? "name=\"Varnel.Setup\" version=\"1.0.0.0\" processorArchitecture=\"amd64\""
                                         : "name=\"Varnel.Setup\" version=\"1.0.0.0\" processorArchitecture=\"x86\"";
    EXPECT_NE(manifest.find(own), std::string::npos) << manifest;
}

TEST_F(InstallerImage, CarriesItsChineseVersionRecordAndIcon) {
    EXPECT_EQ(VersionString("FileDescription"), "varnel 安装程序");
    EXPECT_EQ(VersionString("ProductName"), "Varnel 安装程序");
    EXPECT_EQ(VersionString("Comments"), "varnel updata");
    EXPECT_EQ(VersionString("FileVersion"), "1.0.0.0");
    EXPECT_EQ(VersionString("ProductVersion"), "1.0.0.0");

    // One 32-bit image of 151 x 150 in the icon group DEFAULT_ICON.
    const std::string group = Resource("DEFAULT_ICON", MAKEINTRESOURCEA(14));
    ASSERT_EQ(group.size(), 6u + 14u);
    EXPECT_EQ(group[4], 1);  // count
    EXPECT_EQ(static_cast<unsigned char>(group[6]), 151);
    EXPECT_EQ(static_cast<unsigned char>(group[7]), 150);
    EXPECT_EQ(group[12], 32);  // bits per pixel
}
