#include "ui/pages.h"

#include "install/installation.h"
#include "install/launch.h"
#include "install/location.h"
#include "startup/external.h"
#include "startup/program.h"
#include "ui/element_names.h"
#include "ui/window.h"

namespace varnel {
namespace {

namespace names = element_names;

bool Is(xc::Handle element, const char* name) { return element == FindElement(name); }

}  // namespace

void LookUpPages() {
    auto& pages = Program().pages;
    for (int i = 0; i < 4; ++i) pages[i] = FindElement(names::kPages[i]);
}

void RegisterButtonHandlers() {
    for (const char* name : names::kClicked)
        ext::XEle_RegEventC1(FindElement(name), xc::kEventButtonClick, reinterpret_cast<void*>(&OnButtonClick));
}

int WINAPI OnButtonClick(xc::Handle element, BOOL* /*handled*/) {
    // Every test looks its button up again; an action does not end the tests.
    if (Is(element, names::kBack)) {
        SetShapeText(names::kPathLabel, GetEditText(names::kLocationEdit));
        ShowPage(Page(1));
    }
    if (Is(element, names::kCustomInstall)) ShowPage(Page(2));
    if (Is(element, names::kInstallNow)) RunInstallation();
    if (Is(element, names::kQuickInstall)) RunInstallation();
    if (Is(element, names::kBrowse)) BrowseForInstallDirectory();
    if (Is(element, names::kStartApplication)) LaunchApplication();
    return 0;
}

xc::Handle Page(int number) { return Program().pages[static_cast<size_t>(number - 1)]; }

void HideAllPages() {
    for (int number : {1, 3, 4, 2})
        if (Page(number) > 0) ext::XWidget_Show(Page(number), 0);
}

void ShowPage(xc::Handle page) {
    HideAllPages();
    if (page <= 0) return;
    ext::XWidget_Show(page, 1);
    Program().window.AdjustLayout();
    Program().window.Redraw(0);
}

std::string GetEditText(std::string_view name) {
    const xc::Handle edit = FindElement(name);
    if (edit == 0) return {};
    const char* text = ext::XC_wtoa(ext::XEdit_GetText_Temp(edit));
    return text ? std::string(text) : std::string();
}

void SetShapeText(std::string_view name, std::string_view text) {
    const xc::Handle label = FindElement(name);
    if (label == 0) return;
    ext::XShapeText_SetText(label, ToWide(text).c_str());
}

void SetEditText(std::string_view name, std::string_view text, bool redraw) {
    const xc::Handle edit = FindElement(name);
    if (edit == 0) return;
    ext::XEdit_SetText(edit, ToWide(text).c_str());
    if (redraw) ext::XEle_Redraw(edit, 0);
}

}  // namespace varnel
