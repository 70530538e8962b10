// Building the installer window from the in-memory UI package and running it.
#pragma once

#include <string>
#include <string_view>

#include "startup/ui_library.h"

namespace varnel {

void RunInstallerUi();

// GBK -> UTF-16 through the UI library's own conversion (system ANSI code
// page); always terminated, so "" gives one 0 character.
std::wstring ToWide(std::string_view text);

// The element of the loaded layout with that name, 0 when absent.
xc::Handle FindElement(std::string_view name);

}  // namespace varnel
