#include "test_support.h"

#include <fstream>
#include <iterator>

#include <zip.h>
#include <zlib.h>

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

std::vector<std::uint8_t> MakeStoredZip(const std::vector<ZipItem>& items) {
    std::vector<std::uint8_t> out, directory;
    const auto put = [](std::vector<std::uint8_t>& v, std::uint32_t value, int bytes) {
        for (int k = 0; k < bytes; ++k) v.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
    };
    for (const auto& item : items) {
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(item.data.data()), static_cast<uInt>(item.data.size())));
        const auto size = static_cast<std::uint32_t>(item.data.size());
        const auto name = static_cast<std::uint32_t>(item.name.size());
        const auto offset = static_cast<std::uint32_t>(out.size());
        const std::uint32_t flags = item.utf8 ? 0x800 : 0;
        put(out, 0x04034B50, 4), put(out, 20, 2), put(out, flags, 2), put(out, 0, 2), put(out, 0, 4);
        put(out, crc, 4), put(out, size, 4), put(out, size, 4), put(out, name, 2), put(out, 0, 2);
        out.insert(out.end(), item.name.begin(), item.name.end());
        out.insert(out.end(), item.data.begin(), item.data.end());
        put(directory, 0x02014B50, 4), put(directory, 20, 2), put(directory, 20, 2), put(directory, flags, 2);
        put(directory, 0, 2), put(directory, 0, 4), put(directory, crc, 4), put(directory, size, 4);
        put(directory, size, 4), put(directory, name, 2), put(directory, 0, 2), put(directory, 0, 2);
        put(directory, 0, 2), put(directory, 0, 2), put(directory, 0, 4), put(directory, offset, 4);
        directory.insert(directory.end(), item.name.begin(), item.name.end());
    }
    const auto start = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    const auto count = static_cast<std::uint32_t>(items.size());
    put(out, 0x06054B50, 4), put(out, 0, 2), put(out, 0, 2), put(out, count, 2), put(out, count, 2);
    put(out, static_cast<std::uint32_t>(directory.size()), 4), put(out, start, 4), put(out, 0, 2);
    return out;
}

std::string PngWithData(int width, int height, const std::string& idat) {
    std::string png = "\x89PNG\r\n\x1a\n";
    const auto be32 = [&](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<char>(v >> s));
    };
    const auto chunk = [&](const char* tag, const std::string& data) {
        be32(static_cast<std::uint32_t>(data.size()));
        const std::size_t start = png.size();
        png += tag;
        png += data;
        be32(static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(png.data() + start), static_cast<uInt>(png.size() - start))));
    };
    std::string header;
    for (std::uint32_t v : {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)})
        for (int s = 24; s >= 0; s -= 8) header.push_back(static_cast<char>(v >> s));
    header += std::string("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA
    chunk("IHDR", header);
    chunk("IDAT", idat);
    chunk("IEND", "");
    return png;
}

std::string SolidPng(int width, int height, std::uint32_t argb) {
    std::string raw;
    const char pixel[4] = {static_cast<char>(argb >> 16), static_cast<char>(argb >> 8), static_cast<char>(argb),
                           static_cast<char>(argb >> 24)};
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < width; ++x) raw.append(pixel, 4);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    packed.resize(size);
    return PngWithData(width, height, packed);
}

std::vector<std::uint8_t> RealPackage() { return ReadAll(BuildFolder() + L"\\ui_package.zip"); }

std::string PackageEntry(const wchar_t* name) {
    const auto package = RealPackage();
    const auto bytes = xcgui::ReadZipEntry(package.data(), package.size(), name, L"");
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

}  // namespace xcgui_test
