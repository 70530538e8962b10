// What a screen reader sees (MSAA): the drawn controls have no windows of
// their own, so the window's client area answers for them, one child a
// shown element (its handle is its child id) and one a notification popup.
#pragma once

#include <windows.h>

#include "ui_library.h"

namespace xcgui {

class Window;

// The answer to WM_GETOBJECT; 0 when it is not asked for the client area
// or the system's accessibility libraries cannot be had.
LRESULT AnswerGetObject(xc::Handle window, HWND hwnd, WPARAM wp, LPARAM lp);

// Tells listening screen readers about a change (no cost without one).
void NotifyAccessible(HWND hwnd, DWORD event, xc::Handle child);

}  // namespace xcgui
