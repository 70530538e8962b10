#include "install/launch.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/shell_user.h"
#include "startup/external.h"
#include "startup/program.h"
#include "startup/text.h"

namespace varnel {

void LaunchApplication() {
    const std::string target = JoinTexts(Program().installDirectory, "\\varnel.exe");
    // The desktop shell starts it, so it runs as the user at the screen and
    // not with the installer's administrator rights, in the installer's
    // current directory as before. Without a shell, or for a target that is
    // not there (the shell would report that in a box), the installer starts
    // it itself. A failed start shows nothing.
    const std::wstring file = TextToUtf16(target, true);
    const bool present = !file.empty() && (ext::GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (!present || !StartThroughDesktopShell(file, TextToUtf16(ProgramDirectory(), true))) {
        // An empty working directory: the installer's current directory.
        ShellExecuteA(nullptr, "open", target.c_str(), nullptr, "", SW_SHOWNORMAL);
    }
    EndProcess(0);
}

}  // namespace varnel
