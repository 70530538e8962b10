// Method positions of the shell interfaces the installer calls, in the order
// the published interfaces declare them (IUnknown takes 0 to 2).
#pragma once

namespace varnel::slots {

namespace FileDialog {  // IModalWindow, IFileDialog, IFileOpenDialog
inline constexpr int kShow = 3;
inline constexpr int kSetFileTypes = 4;
inline constexpr int kSetFileTypeIndex = 5;
inline constexpr int kSetOptions = 9;
inline constexpr int kGetOptions = 10;
inline constexpr int kSetFolder = 12;
inline constexpr int kSetTitle = 17;
inline constexpr int kGetResult = 20;
inline constexpr int kGetResults = 27;  // open dialog only
}  // namespace FileDialog

namespace ShellItem {
inline constexpr int kGetDisplayName = 5;
}

namespace ShellItemArray {
inline constexpr int kGetCount = 7;
inline constexpr int kGetItemAt = 8;
}

namespace FileDialogCustomize {
inline constexpr int kAddComboBox = 6;
inline constexpr int kAddControlItem = 19;
inline constexpr int kGetSelectedControlItem = 24;
inline constexpr int kSetSelectedControlItem = 25;
inline constexpr int kStartVisualGroup = 26;
inline constexpr int kEndVisualGroup = 27;
}  // namespace FileDialogCustomize

namespace ShellLink {  // IShellLinkW
inline constexpr int kSetDescription = 7;
inline constexpr int kSetWorkingDirectory = 9;
inline constexpr int kSetArguments = 11;
inline constexpr int kSetHotkey = 13;
inline constexpr int kSetShowCmd = 15;
inline constexpr int kSetIconLocation = 17;
inline constexpr int kSetPath = 20;
}  // namespace ShellLink

namespace PersistFile {
inline constexpr int kSave = 6;
}

}  // namespace varnel::slots
