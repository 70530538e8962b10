// The page table, the click dispatch and the named-element text operations.
#pragma once

#include <string>
#include <string_view>
#include <windows.h>

#include "startup/ui_library.h"

namespace varnel {

void LookUpPages();
void RegisterButtonHandlers();
int WINAPI OnButtonClick(xc::Handle element, BOOL* handled);

// Makes the page the only visible one (a handle <= 0 hides all).
void ShowPage(xc::Handle page);
void HideAllPages();

// Page handles by number 1..4 (0 when missing).
xc::Handle Page(int number);

std::string GetEditText(std::string_view name);
void SetShapeText(std::string_view name, std::string_view text);
void SetEditText(std::string_view name, std::string_view text, bool redraw);

}  // namespace varnel
