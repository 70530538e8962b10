// The user whose desktop shell runs: the person at the screen. The installer
// runs elevated, possibly with another account's password; what it leaves
// for that person (the started application, the shortcut, the record)
// belongs to the shell's user, not to the elevated one.
#pragma once

#include <string>

#include "platform/handles.h"

namespace varnel {

// The desktop shell's process token (query and impersonate), for looking up
// that user's folders; empty when no shell window is registered or its
// process cannot be opened.
KernelHandle ShellUserToken();

// Asks the desktop shell to start `file` with `directory` as its working
// directory, so that the program runs with the shell's token: the user's own,
// not elevated. False when no desktop shell can be reached or it refuses.
bool StartThroughDesktopShell(const std::wstring& file, const std::wstring& directory);

}  // namespace varnel
