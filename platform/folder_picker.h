// The shell's common item dialog (Windows 6.0 and later): the folder picker
// the browse button uses, and the general routine behind it.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// Shows the folder dialog over `owner`; the chosen folder's path, or the
// empty text when nothing was chosen.
std::string PickFolder(std::string_view title, HWND owner);

struct FileDialogOptions {
    bool multiSelect = false;
    bool saveDialog = false;
    bool pickFolders = false;
    // Display names and patterns, each ended by one 0 character; empty
    // offers all files.
    std::wstring filter;
    int filterIndex = 0;          // 0-based
    std::wstring title;
    HWND owner = nullptr;
    std::wstring startFolder;
    // Low 16 bits 1: an encoding combo box; high 16 bits: its first choice.
    int encodingOption = 0;
};

// Shows the dialog; `paths` receives the chosen file-system paths (each
// with its terminator). Returns their number. `selectedEncoding`, when
// given, receives the combo box's choice.
int RunFileDialog(const FileDialogOptions& options, std::vector<std::wstring>& paths,
                  int* selectedEncoding = nullptr);

// The filter's strings in order, up to the first empty one; the "all files"
// pair when the filter is empty.
std::vector<std::wstring> SplitFilterStrings(std::wstring_view filter);

// The names of the encoding box, in item order.
const std::vector<std::wstring>& EncodingNames();

}  // namespace varnel
