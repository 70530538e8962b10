// Shell link files (.lnk).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace varnel {

// The fields of a link; texts are UTF-16 (a terminator may be included);
// empty or 0 means not set.
struct ShortcutFields {
    std::wstring linkPath;
    std::wstring target;
    std::wstring arguments;
    std::wstring iconLocation;
    std::wstring workingDirectory;  // empty: the target's folder
    WORD hotKey = 0;
    int showCommand = 0;            // 0: SW_SHOWNORMAL
    std::wstring description;
};

// Writes the link file (replacing one that exists); true when it was saved.
bool CreateShortcut(const ShortcutFields& fields);

// The installer's shortcut: Varnel.lnk on the desktop, starting
// <directory>\varnel.exe in <directory>.
bool CreateDesktopShortcut(std::string_view installDirectory);

}  // namespace varnel
