// What the demo application shows, and its two ways of showing it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace varnel_app {

struct AppInfo {
    std::wstring version;  // "a.b.c.d" from the program's version record
    std::wstring folder;   // where the program runs from, no trailing separator
};

// The window drawn by XCGUI.dll from the program's own folder. Nothing when
// the library or the window cannot be had; the exit code once it has run.
std::optional<int> RunLibraryWindow(const AppInfo& info);

// The plain GDI window: the program still shows itself without the library.
int RunPlainWindow(HINSTANCE instance, int show, const AppInfo& info);

}  // namespace varnel_app
