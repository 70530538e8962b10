// Starting the installed application from the finish page.
#pragma once

namespace varnel {

// Starts varnel.exe from the current install directory and ends the
// process with exit code 0, whether or not the start worked.
[[noreturn]] void LaunchApplication();

}  // namespace varnel
