// An application or skin folder read as archive entries: its names come from
// the folder itself (never through a command line or a build-system list, so
// no name can break them) and are checked against what the installer can
// write before anything is packed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/zip_writer.h"

namespace varnel::pack {

enum class NameForm {
    Gbk,               // the installer's payload: GBK bytes, "/" between levels
    Utf8Backslashed,   // the UI package: UTF-8, "\" between levels
};

// Every file of the folder, and every folder that holds nothing (as a
// folder entry), sorted by stored name. Throws PackError naming the first
// name that cannot be stored or installed; `read` collects every file and
// folder visited (for a depfile).
std::vector<ZipSource> ScanFolder(const std::filesystem::path& root, NameForm form,
                                  std::vector<std::filesystem::path>* read = nullptr);

// A Makefile rule naming what was read, as Ninja reads it.
void WriteDepfile(const std::filesystem::path& depfile, const std::string& output,
                  const std::vector<std::filesystem::path>& read);

// The shortest install folder a payload name must fit under ("C:\varnel\").
inline constexpr std::size_t kShortestInstallFolder = 10;

}  // namespace varnel::pack
