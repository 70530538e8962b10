#include "test_support.h"

#include <fstream>
#include <iterator>

#include <zip.h>

#include "zip_memory.h"

namespace xcgui_test {

namespace {

std::wstring BuildFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    p.resize(p.find_last_of(L'\\'));  // ...\bin
    p.resize(p.find_last_of(L'\\'));  // the build folder
    return p;
}

std::vector<std::uint8_t> ReadAll(const std::wstring& path) {
    std::vector<std::uint8_t> bytes;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(f, nullptr));
    DWORD got = 0;
    ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(f);
    bytes.resize(got);
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> MakeZip(const std::vector<ZipItem>& items) {
    char dir[MAX_PATH], file[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "xcz", 0, file);
    zipFile z = zipOpen(file, APPEND_STATUS_CREATE);
    for (const auto& item : items) {
        zip_fileinfo info{};
        zipOpenNewFileInZip4(z, item.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 9, 0, -MAX_WBITS,
                             8, Z_DEFAULT_STRATEGY, nullptr, 0, 0, item.utf8 ? 0x800 : 0);
        zipWriteInFileInZip(z, item.data.data(), static_cast<unsigned>(item.data.size()));
        zipCloseFileInZip(z);
    }
    zipClose(z, nullptr);
    std::ifstream in(file, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    DeleteFileA(file);
    return bytes;
}

std::vector<std::uint8_t> RealPackage() { return ReadAll(BuildFolder() + L"\\ui_package.zip"); }

std::string PackageEntry(const wchar_t* name) {
    const auto package = RealPackage();
    const auto bytes = xcgui::ReadZipEntry(package.data(), package.size(), name, L"");
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

}  // namespace xcgui_test
