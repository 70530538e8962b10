// Notification popups: cards drawn inside their window, stacked from the
// top centre, each with an icon per skin, a title, a text and a close button.
#pragma once

#include <vector>

#include "painter.h"

namespace xcgui {

inline constexpr unsigned kPopupLifetimeMs = 3000;

struct Popup {
    xc::Handle handle = 0;
    std::wstring title, text;
    int skin = xc::kSkinInfo;
    bool closeButton = true;
    bool autoClose = true;
    int width = -1, height = -1;  // -1: our default
    Rect rect;
    Rect CloseRect() const { return {rect.Right() - 28, rect.y + 8, 20, 20}; }
};

// Places the popups, oldest at the top, in a window content of this size.
void LayoutPopups(std::vector<Popup>& popups, Size content);
void PaintPopup(Gdiplus::Graphics& g, const Popup& p, bool closeHot);

}  // namespace xcgui
