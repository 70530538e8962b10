// Ends the process through the runtime error box while the extraction
// thread writes an item: unpacks item 0 of ZIP below BASE and, once a new
// file of it holds data, raises the box. A watcher presses OK on it at once,
// as a user might. What the item leaves behind is the test's to check.
// usage: mid_item_helper ZIP BASE
#include <windows.h>
#include <shellapi.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "install/archive_reader.h"
#include "install/background_extraction.h"
#include "startup/runtime_error.h"
#include "platform/paths.h"

namespace {

BOOL CALLBACK AnswerOwnBox(HWND window, LPARAM) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[16] = {};
    GetWindowTextA(window, title, sizeof title);
    if (owner == GetCurrentProcessId() && IsWindowVisible(window) &&
        (std::string(title) == "错误" || std::string(title) == "warm"))
        PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// The names of the files in `base` that hold data.
std::set<std::wstring> FilesWithData(const std::wstring& base) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((base + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (found.nFileSizeLow | found.nFileSizeHigh))
            names.insert(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args || count != 3) return 2;
    const std::wstring base = args[2];
    std::ifstream in(args[1], std::ios::binary);
    const std::vector<char> zip((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    std::thread([] {
        for (;;) {
            EnumWindows(AnswerOwnBox, 0);
            Sleep(5);
        }
    }).detach();
    // A first box makes the second one quick to show, as in a program
    // that has drawn its window already.
    MessageBoxA(nullptr, "warm", "warm", MB_OK);

    varnel::ArchiveReader reader;
    if (!reader.OpenFromMemory(zip.data(), zip.size())) return 3;
    reader.SetBaseDirectory(varnel::Utf16ToText(base));
    varnel::BackgroundExtraction extraction(reader);
    // A new file (the item in place, or a temporary beside the old copy).
    const std::set<std::wstring> before = FilesWithData(base);
    extraction.Start(0);
    while (FilesWithData(base) == before) Sleep(1);
    varnel::RuntimeError("mid-item", 0, 0, 0);
}
