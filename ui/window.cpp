#include "ui/window.h"

#include "install/location.h"
#include "startup/external.h"
#include "startup/program.h"
#include "ui/element_names.h"
#include "ui/pages.h"

namespace varnel {

std::wstring ToWide(std::string_view text) {
    const std::string bytes(text);
    const int needed = ext::XC_AnsiToUnicode(bytes.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(needed > 0 ? needed : 1), L'\0');
    if (needed > 0) ext::XC_AnsiToUnicode(bytes.c_str(), -1, wide.data(), needed);
    return wide;
}

xc::Handle FindElement(std::string_view name) { return ext::XC_GetObjectByName(ToWide(name).c_str()); }

void RunInstallerUi() {
    ProgramValues& program = Program();
    const UiPackageRecord& package = program.uiPackage;

    program.uiApplication.Initialise(1);
    ext::XC_EnableAutoDPI(1);
    ext::XC_EnableAutoRedrawUI(1);
    ext::XC_EnableResMonitor(0);
    ext::XC_LoadResourceZipMem(package.address, package.length, ToWide("resource.res").c_str(),
                               package.password.c_str());
    program.windowHandle = ext::XC_LoadLayoutZipMem(package.address, package.length, ToWide("main.xml").c_str(),
                                                    package.password.c_str(), 0, nullptr);
    program.window.SetHandle(program.windowHandle);
    program.window.EnableDragBorder(0);
    LookUpPages();
    RegisterButtonHandlers();
    program.installDirectory = LoadDefaultInstallDirectory();
    SetEditText(element_names::kLocationEdit, program.installDirectory, false);
    SetShapeText(element_names::kVersionLabel, "2024(4.1.0.0)");
    SetShapeText(element_names::kTitleLabel, "Varnel - 安装程序(20241118)");
    SetShapeText(element_names::kPathLabel, program.installDirectory);
    program.window.Show(1);

    SetUiLoopRunning(true);
    ext::XRunXCGUI();
    SetUiLoopRunning(false);
    ext::XExitXCGUI();
}

}  // namespace varnel
