#include "install/installation.h"

#include <windows.h>

#include <string>
#include <utility>

#include "install/archive_reader.h"
#include "install/background_extraction.h"
#include "install/location.h"
#include "install/record.h"
#include "install/shortcut.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/wait.h"
#include "startup/embedded.h"
#include "startup/external.h"
#include "startup/program.h"
#include "startup/text.h"
#include "ui/element_names.h"
#include "ui/notification.h"
#include "ui/pages.h"
#include "ui/window.h"

namespace varnel {
namespace {

using element_names::kStatusLabel;

// The window's close button stays reachable during a run. Once the window is
// gone (or the library asked the loop to quit) the run stops at its next
// wait, and an item being written is given up, so nothing more is written
// after the user closed the installer.
class CloseWatch {
public:
    CloseWatch() : window_(Program().window.GetHWND()) {}
    bool WindowClosed() const {
        MSG message;
        if (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) return true;
        return window_ != nullptr && !IsWindow(window_);
    }

private:
    HWND window_;
};

// Waits and tells whether the run may go on.
bool WaitAndCheck(const CloseWatch& watch, std::int64_t milliseconds) {
    WaitPumpingMessages(milliseconds);
    return !watch.WindowClosed();
}

// What the status line says when an item could not be unpacked.
std::string ExtractionFailureText(ArchiveResult result, DWORD systemError, std::string_view path) {
    if (result == ArchiveResult::kCannotCreate || result == ArchiveResult::kWriteFailed) {
        if (systemError == ERROR_DISK_FULL || systemError == ERROR_HANDLE_DISK_FULL)
            return JoinTexts("安装失败：磁盘空间不足，无法写入 ", path);
        return JoinTexts("安装失败：无法写入文件 ", path);
    }
    return "安装失败：安装包已损坏，请重新下载。";
}

// The steps after the agreement and location checks; returns at any stop.
void InstallInto(ArchiveReader& reader, ArchiveItemInfo& info) {
    std::string& directory = Program().installDirectory;
    const CloseWatch watch;

    ShowPage(Page(3));
    // The folders made here are protected as a program folder is: users may
    // run what lies in them, not replace it for the next elevated install.
    CreateDirectoryTree(directory, InstallFolderSecurity().Get());
    const xc::Handle progressBar = FindElement(element_names::kProgressBar);
    SetShapeText(kStatusLabel, JoinTexts("创建文件夹：", directory));
    if (!WaitAndCheck(watch, 1000)) return;

    if (IsProcessRunning("varnel.exe")) {
        const int answer = MessageBoxA(nullptr, "Varnel正在运行，是否继续安装？", "冲突", MB_YESNO | MB_TASKMODAL);
        if (answer != IDYES) return;  // Wine answers Escape with IDCANCEL even here
        TerminateProcessByName("varnel.exe");
        if (!WaitAndCheck(watch, 1000)) return;
    }

    SetShapeText(kStatusLabel, "打开文件：Varnel.ZIP");
    const auto payload = PayloadArchive();
    if (!reader.OpenFromMemory(payload.data(), payload.size())) {
        SetShapeText(kStatusLabel, "安装失败：打开文件包失败,请点击下方按钮，下载绿色版。");
        return;
    }

    reader.SetBaseDirectory(directory);
    const int count = reader.ItemCount();
    // Items are written beside this thread, each one during the pause after
    // the one before; the status line still names an item only once it is
    // on disk. Leaving the run, or closing the window while an item is
    // written, gives up the item in hand.
    BackgroundExtraction extraction(reader);
    if (count > 0) extraction.Start(0);
    for (int i = 1; i <= count; ++i) {
        ExtractedItem item = extraction.Finish([&watch] { return watch.WindowClosed(); });
        if (watch.WindowClosed()) return;
        info = std::move(item.info);
        const std::string path = JoinTexts(directory, "\\", info.name);
        // A file that could not be written ends the run here: no link to a
        // missing program, no record of an install that did not happen.
        if (item.result != ArchiveResult::kDone) {
            SetShapeText(kStatusLabel, ExtractionFailureText(item.result, item.systemError, path));
            return;
        }
        if (i < count) extraction.Start(i);
        SetShapeText(kStatusLabel, JoinTexts("解压文件：", path));
        ext::XProgBar_SetPos(progressBar, ProgressPosition(i, count));
        if (!WaitAndCheck(watch, 10)) return;
    }

    if (ext::XBtn_IsCheck(FindElement(element_names::kShortcutBox))) CreateDesktopShortcut(directory);
    WriteInstallPathRecord(directory);
    if (!WaitAndCheck(watch, 1000)) return;
    ShowPage(Page(4));
}

// The checks before anything is written; false after telling the user why.
bool AcceptAgreementAndLocation() {
    if (!ext::XBtn_IsCheck(FindElement(element_names::kAgreementBox))) {
        ShowNotification("同意用户协议方可继续安装。", "成功");
        return false;
    }
    std::string& directory = Program().installDirectory;
    directory = GetEditText(element_names::kLocationEdit);
    if (HasSpecialCharacters(directory)) {
        MessageBoxA(nullptr,
                    "抱歉，程序安装目录存在特殊字符，会导致功能异常，请将Varnel安装到没有任何特殊字符的文件夹中 (空格 - _ ) ",
                    "异常", MB_ICONERROR | MB_OK | MB_TASKMODAL);
        return false;
    }
    if (directory.empty() || !IsValidInstallLocation(directory)) {
        ShowPage(Page(2));  // before the notice: the user lands where the location can be edited
        ShowNotification("安装位置无效。", "警告");
        return false;
    }
    directory = FinaliseInstallDirectory(directory);
    return true;
}

}  // namespace

int ProgressPosition(int item, int count) {
    // Each step rounded to double: the x87 unit would otherwise keep extra
    // bits, and 29 / 100 * 100 would come out as 29 instead of 28.
    const volatile double quotient = static_cast<double>(item) / static_cast<double>(count);
    const volatile double percent = quotient * 100.0;
    return static_cast<int>(percent);
}

void RunInstallation() {
    // The reader is closed on every path out, whether or not it was opened.
    ArchiveReader reader;
    ArchiveItemInfo info;
    if (AcceptAgreementAndLocation()) InstallInto(reader, info);
    reader.Close();
}

}  // namespace varnel
