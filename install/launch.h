// Starting the installed application from the finish page.
#pragma once

namespace varnel {

// Starts varnel.exe from the current install directory and ends the process.
void LaunchApplication();

}  // namespace varnel
