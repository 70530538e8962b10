#include "install/launch.h"

#include <windows.h>
#include <shellapi.h>

#include "startup/program.h"
#include "startup/text.h"

namespace varnel {

void LaunchApplication() {
    const std::string target = JoinTexts(Program().installDirectory, "\\varnel.exe");
    // An empty working directory: the application starts in the installer's
    // current directory. A failed start shows nothing.
    ShellExecuteA(nullptr, "open", target.c_str(), nullptr, "", SW_SHOWNORMAL);
    EndProcess(0);
}

}  // namespace varnel
