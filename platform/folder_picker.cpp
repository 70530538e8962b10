#include "platform/folder_picker.h"

#include <shobjidl.h>
#include <shtypes.h>

#include <algorithm>

#include "platform/handles.h"
#include "platform/paths.h"
#include "startup/external.h"
#include "startup/program.h"
#include "startup/text.h"

namespace varnel {

namespace {

constexpr GUID kClsidFileOpenDialog = {0xdc1c5a9c, 0xe88a, 0x4dde, {0xa5, 0xa1, 0x60, 0xf8, 0x2a, 0x20, 0xae, 0xf7}};
constexpr GUID kClsidFileSaveDialog = {0xc0b4e2f3, 0xba21, 0x4773, {0x8d, 0xba, 0x33, 0x5e, 0xc9, 0x46, 0xeb, 0x8b}};
constexpr GUID kIidFileOpenDialog = {0xd57c7288, 0xd4ad, 0x4768, {0xbe, 0x02, 0x9d, 0x96, 0x95, 0x32, 0xd9, 0x60}};
constexpr GUID kIidFileSaveDialog = {0x84bccd23, 0x5fde, 0x4cdb, {0xae, 0xa4, 0xaf, 0x64, 0xb8, 0x3d, 0x78, 0xab}};
constexpr GUID kIidFileDialogCustomize = {0xe6fdd21a, 0x163f, 0x4975, {0x9c, 0x8c, 0xa6, 0x9f, 0x1b, 0xa3, 0x70, 0x34}};

constexpr DWORD kEncodingBox = 1;
constexpr DWORD kEncodingGroup = 2;

// Appends the item's file-system path; items without one add nothing.
void AppendItemPath(IShellItem* item, std::vector<std::wstring>& paths) {
    wchar_t* name = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)) && name != nullptr) {
        paths.push_back(CopyWideString(name));
        ext::CoTaskMemFree(name);
    }
}

void AddEncodingBox(IFileDialogCustomize* customize, int encodingOption) {
    customize->StartVisualGroup(kEncodingGroup, L"编码(&E):");
    customize->AddComboBox(kEncodingBox);
    const auto& names = EncodingNames();
    for (DWORD i = 0; i < names.size(); ++i) customize->AddControlItem(kEncodingBox, i, names[i].c_str());
    customize->EndVisualGroup();
    customize->SetSelectedControlItem(kEncodingBox,
                                      static_cast<DWORD>((static_cast<unsigned>(encodingOption) >> 16) & 0xFFFF));
}

}  // namespace

const std::vector<std::wstring>& EncodingNames() {
    static const std::vector<std::wstring> names = {L"自动检测", L"ANSI", L"UTF-16 LE",
                                                    L"UTF-16 BE", L"带有 BOM 的 UTF-8", L"UTF-8"};
    return names;
}

std::vector<std::wstring> SplitFilterStrings(std::wstring_view filter) {
    if (filter.empty()) return {L"所有文件", L"*.*"};
    std::vector<std::wstring> strings;
    size_t start = 0;
    while (start < filter.size()) {
        const size_t end = std::min(filter.find(L'\0', start), filter.size());
        if (end == start) break;  // an empty string ends the list
        strings.emplace_back(filter.substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

int RunFileDialog(const FileDialogOptions& options, std::vector<std::wstring>& paths, int* selectedEncoding) {
    if (OsVersionWord() < 0x600) return 0;  // no common item dialog before Windows 6.0
    paths.clear();
    ComInitScope com;

    // Both dialogs are file dialogs; only the open dialog gives several results.
    ComPtr<IFileDialog> dialog;
    const HRESULT created = options.saveDialog
        ? ext::CoCreateInstance(kClsidFileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, kIidFileSaveDialog, dialog.PutVoid())
        : ext::CoCreateInstance(kClsidFileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, kIidFileOpenDialog, dialog.PutVoid());
    if (FAILED(created) || !dialog) return 0;
    IFileDialog* d = dialog.Get();

    FILEOPENDIALOGOPTIONS flags = 0;
    d->GetOptions(&flags);
    if (options.multiSelect) flags |= FOS_ALLOWMULTISELECT;
    flags |= options.pickFolders ? FOS_PICKFOLDERS : FOS_FORCEFILESYSTEM;
    d->SetOptions(flags);

    if (!options.pickFolders) {
        const std::vector<std::wstring> strings = SplitFilterStrings(options.filter);
        if (strings.size() % 2 != 0) return 0;  // a name without its pattern
        std::vector<COMDLG_FILTERSPEC> pairs;
        for (size_t i = 0; i < strings.size(); i += 2) pairs.push_back({strings[i].c_str(), strings[i + 1].c_str()});
        d->SetFileTypes(static_cast<UINT>(pairs.size()), pairs.data());
        d->SetFileTypeIndex(static_cast<UINT>(options.filterIndex + 1));
    }

    const std::wstring_view title(options.title.c_str());
    if (!title.empty()) d->SetTitle(options.title.c_str());

    ComPtr<IShellItem> startFolder;
    const std::wstring_view startPath(options.startFolder.c_str());
    if (!startPath.empty()) {
        PIDLIST_ABSOLUTE pidl = ext::ILCreateFromPathW(options.startFolder.c_str());
        if (SUCCEEDED(ext::SHCreateShellItem(nullptr, nullptr, pidl, startFolder.Put())) && startFolder) {
            d->SetFolder(startFolder.Get());
        }
        if (pidl != nullptr) ext::ILFree(pidl);
    }

    ComPtr<IFileDialogCustomize> customize;
    if ((options.encodingOption & 0xFFFF) == 1 &&
        SUCCEEDED(d->QueryInterface(kIidFileDialogCustomize, customize.PutVoid())) && customize) {
        AddEncodingBox(customize.Get(), options.encodingOption);
    }

    // Cancelling shows up below as the absence of a result.
    d->Show(options.owner);
    startFolder.Reset();

    if (options.multiSelect && !options.saveDialog) {
        // Made as the open dialog's class and interface.
        auto* open = static_cast<IFileOpenDialog*>(d);
        ComPtr<IShellItemArray> array;
        if (SUCCEEDED(open->GetResults(array.Put())) && array) {
            DWORD count = 0;
            array.Get()->GetCount(&count);
            for (DWORD i = 0; i < count; ++i) {
                ComPtr<IShellItem> item;
                if (SUCCEEDED(array.Get()->GetItemAt(i, item.Put())) && item) AppendItemPath(item.Get(), paths);
            }
        }
    } else {
        ComPtr<IShellItem> item;
        if (SUCCEEDED(d->GetResult(item.Put())) && item) AppendItemPath(item.Get(), paths);
    }

    if (customize) {
        DWORD selected = 0;
        customize.Get()->GetSelectedControlItem(kEncodingBox, &selected);
        if (selectedEncoding != nullptr) *selectedEncoding = static_cast<int>(selected);
    }
    return static_cast<int>(paths.size());
}

std::string PickFolder(std::string_view title, HWND owner) {
    FileDialogOptions options;
    options.pickFolders = true;
    options.title = TextToUtf16(title, false);
    options.owner = owner;
    std::vector<std::wstring> paths;
    if (RunFileDialog(options, paths) <= 0) return {};
    return Utf16ToText(paths.front());
}

}  // namespace varnel
