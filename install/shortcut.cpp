#include "install/shortcut.h"

#include <objidl.h>
#include <shobjidl.h>

#include "install/record.h"
#include "platform/handles.h"
#include "startup/external.h"
#include "startup/text.h"

namespace varnel {

namespace {

constexpr GUID kClsidShellLink = {0x00021401, 0, 0, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIidShellLinkW = {0x000214f9, 0, 0, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIidPersistFile = {0x0000010b, 0, 0, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};

// The characters of a wide text, up to its first 0.
std::wstring Characters(const std::wstring& wide) { return std::wstring(wide.c_str()); }

}  // namespace

bool CreateShortcut(const ShortcutFields& fields) {
    ComInitScope com;
    ComPtr<IShellLinkW> link;
    if (FAILED(ext::CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER, kIidShellLinkW, link.PutVoid())) ||
        !link) {
        return false;
    }
    ComPtr<IPersistFile> persist;
    if (FAILED(link.Get()->QueryInterface(kIidPersistFile, persist.PutVoid())) || !persist) return false;

    const std::wstring target = Characters(fields.target);
    std::wstring workingDirectory = Characters(fields.workingDirectory);
    if (workingDirectory.empty()) {
        const size_t lastBackslash = target.rfind(L'\\');
        if (lastBackslash != std::wstring::npos) workingDirectory = target.substr(0, lastBackslash);
    }
    const std::wstring arguments = Characters(fields.arguments);
    const std::wstring iconLocation = Characters(fields.iconLocation);
    const std::wstring description = Characters(fields.description);

    IShellLinkW* l = link.Get();
    // A missing target is fine here (S_FALSE): the link is made before the
    // files are in place on some paths.
    l->SetPath(target.c_str());
    l->SetWorkingDirectory(workingDirectory.c_str());
    if (!arguments.empty()) l->SetArguments(arguments.c_str());
    if (!iconLocation.empty()) l->SetIconLocation(iconLocation.c_str(), 0);
    if (fields.hotKey != 0) l->SetHotkey(fields.hotKey);
    l->SetShowCmd(fields.showCommand != 0 ? fields.showCommand : SW_SHOWNORMAL);
    if (!description.empty()) l->SetDescription(description.c_str());

    const std::wstring linkPath = Characters(fields.linkPath);
    if (linkPath.empty()) return false;
    return SUCCEEDED(persist.Get()->Save(linkPath.c_str(), FALSE));
}

bool CreateDesktopShortcut(std::string_view installDirectory) {
    ShortcutFields fields;
    fields.linkPath = TextToUtf16(JoinTexts(SpecialFolderPath(kDesktopFolder), "Varnel.lnk"), false);
    fields.target = TextToUtf16(JoinTexts(installDirectory, "\\varnel.exe"), false);
    fields.description = L"Varnel";
    return CreateShortcut(fields);
}

}  // namespace varnel
