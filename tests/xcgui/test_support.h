// Helpers for the UI library tests: the real UI package of the build, and
// ZIP archives made on the spot.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace xcgui_test {

struct ZipItem {
    std::string name;  // as stored
    std::string data;
    bool utf8 = true;
};

// A deflated ZIP archive built with minizip in a temporary file.
std::vector<std::uint8_t> MakeZip(const std::vector<ZipItem>& items);

// A PNG file: an RGBA picture of one colour (0xAARRGGBB), or a header that
// claims width x height with the given bytes as its only image data.
std::string SolidPng(int width, int height, std::uint32_t argb);
std::string PngWithData(int width, int height, const std::string& idat);

// The same with every entry stored, built in memory: quick for archives of
// very many entries.
std::vector<std::uint8_t> MakeStoredZip(const std::vector<ZipItem>& items);

// D:\ui_package.zip of this build (the folder above bin\).
std::vector<std::uint8_t> RealPackage();

// One entry of the real package, as text.
std::string PackageEntry(const wchar_t* name);

}  // namespace xcgui_test
