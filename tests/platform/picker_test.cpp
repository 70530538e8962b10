#include <gtest/gtest.h>

#include <objidl.h>
#include <shobjidl.h>

#include <cstring>

#include "platform/com_methods.h"
#include "platform/folder_picker.h"
#include "platform/shell_slots.h"

using namespace varnel;

namespace {

// The position a member function takes in its method table, from the
// compiler's own member pointer (Itanium layout: 1 + byte offset).
template <typename M>
int SlotOf(M member) {
    std::ptrdiff_t raw = 0;
    std::memcpy(&raw, &member, sizeof(raw));
    return static_cast<int>((raw - 1) / static_cast<std::ptrdiff_t>(sizeof(void*)));
}

TEST(ShellSlots, MatchTheDeclaredInterfaces) {
    namespace fd = slots::FileDialog;
    EXPECT_EQ(fd::kShow, SlotOf(&IFileOpenDialog::Show));
    EXPECT_EQ(fd::kSetFileTypes, SlotOf(&IFileOpenDialog::SetFileTypes));
    EXPECT_EQ(fd::kSetFileTypeIndex, SlotOf(&IFileOpenDialog::SetFileTypeIndex));
    EXPECT_EQ(fd::kSetOptions, SlotOf(&IFileOpenDialog::SetOptions));
    EXPECT_EQ(fd::kGetOptions, SlotOf(&IFileOpenDialog::GetOptions));
    EXPECT_EQ(fd::kSetFolder, SlotOf(&IFileOpenDialog::SetFolder));
    EXPECT_EQ(fd::kSetTitle, SlotOf(&IFileOpenDialog::SetTitle));
    EXPECT_EQ(fd::kGetResult, SlotOf(&IFileOpenDialog::GetResult));
    EXPECT_EQ(fd::kGetResults, SlotOf(&IFileOpenDialog::GetResults));
    EXPECT_EQ(fd::kGetResult, SlotOf(&IFileSaveDialog::GetResult));
    EXPECT_EQ(slots::ShellItem::kGetDisplayName, SlotOf(&IShellItem::GetDisplayName));
    EXPECT_EQ(slots::ShellItemArray::kGetCount, SlotOf(&IShellItemArray::GetCount));
    EXPECT_EQ(slots::ShellItemArray::kGetItemAt, SlotOf(&IShellItemArray::GetItemAt));
    namespace fdc = slots::FileDialogCustomize;
    EXPECT_EQ(fdc::kAddComboBox, SlotOf(&IFileDialogCustomize::AddComboBox));
    EXPECT_EQ(fdc::kAddControlItem, SlotOf(&IFileDialogCustomize::AddControlItem));
    EXPECT_EQ(fdc::kGetSelectedControlItem, SlotOf(&IFileDialogCustomize::GetSelectedControlItem));
    EXPECT_EQ(fdc::kSetSelectedControlItem, SlotOf(&IFileDialogCustomize::SetSelectedControlItem));
    EXPECT_EQ(fdc::kStartVisualGroup, SlotOf(&IFileDialogCustomize::StartVisualGroup));
    EXPECT_EQ(fdc::kEndVisualGroup, SlotOf(&IFileDialogCustomize::EndVisualGroup));
    namespace sl = slots::ShellLink;
    EXPECT_EQ(sl::kSetDescription, SlotOf(&IShellLinkW::SetDescription));
    EXPECT_EQ(sl::kSetWorkingDirectory, SlotOf(&IShellLinkW::SetWorkingDirectory));
    EXPECT_EQ(sl::kSetArguments, SlotOf(&IShellLinkW::SetArguments));
    EXPECT_EQ(sl::kSetHotkey, SlotOf(&IShellLinkW::SetHotkey));
    EXPECT_EQ(sl::kSetShowCmd, SlotOf(&IShellLinkW::SetShowCmd));
    EXPECT_EQ(sl::kSetIconLocation, SlotOf(&IShellLinkW::SetIconLocation));
    EXPECT_EQ(sl::kSetPath, SlotOf(&IShellLinkW::SetPath));
    EXPECT_EQ(slots::PersistFile::kSave, SlotOf(&IPersistFile::Save));
}

// A hand-made object: a method table with one working method and a hole.
HRESULT STDMETHODCALLTYPE Add(void*, int a, int b) { return a + b; }

TEST(CallMethod, GuardsTheObjectAndTheMethod) {
    void* table[3] = {reinterpret_cast<void*>(&Add), nullptr, reinterpret_cast<void*>(&Add)};
    void* object = table;  // first field: the table
    void* pointerToTable[1] = {object};
    EXPECT_EQ(CallMethod(pointerToTable, 0, 2, 3), 5);
    EXPECT_EQ(CallMethod(pointerToTable, 2, 4, 3), 7);
    EXPECT_EQ(CallMethod(pointerToTable, 1, 2, 3), 0);  // no code there
    EXPECT_EQ(CallMethod(nullptr, 0, 2, 3), 0);
    EXPECT_EQ(CallMethod(reinterpret_cast<void*>(16), 0, 2, 3), 0);  // unreadable object
    EXPECT_FALSE(MethodCallable(pointerToTable, 1));
    EXPECT_TRUE(MethodCallable(pointerToTable, 0));
}

TEST(SplitFilterStrings, PairsUpToTheFirstEmptyString) {
    using Strings = std::vector<std::wstring>;
    using namespace std::string_view_literals;
    EXPECT_EQ(SplitFilterStrings(L""sv), (Strings{L"所有文件", L"*.*"}));
    EXPECT_EQ(SplitFilterStrings(L"Text\0*.txt\0\0"sv), (Strings{L"Text", L"*.txt"}));
    EXPECT_EQ(SplitFilterStrings(L"Text\0*.txt\0All\0*.*"sv), (Strings{L"Text", L"*.txt", L"All", L"*.*"}));
    EXPECT_EQ(SplitFilterStrings(L"a\0b\0c\0"sv), (Strings{L"a", L"b", L"c"}));
    EXPECT_EQ(SplitFilterStrings(L"a\0\0b\0c"sv), (Strings{L"a"}));
}

TEST(RunFileDialog, OddFilterShowsNothingAndReturnsZero) {
    FileDialogOptions options;
    options.filter = std::wstring(L"Text\0*.txt\0Odd\0", 15);
    std::vector<std::wstring> paths = {L"stale"};
    EXPECT_EQ(RunFileDialog(options, paths), 0);
    EXPECT_TRUE(paths.empty());
}

}  // namespace
