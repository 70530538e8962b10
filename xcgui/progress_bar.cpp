// Progress bar: the track (its background) and the loaded part in colorLoad.
#include <algorithm>

#include "kinds.h"

namespace xcgui {

void PaintProgressBar(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx) {
    if (e.background.Empty()) {
        Gdiplus::SolidBrush track(Gdiplus::Color(255, 0xD2, 0xD2, 0xD2));
        g.FillRectangle(&track, e.rect.x, e.rect.y, e.rect.w, e.rect.h);
    } else {
        PaintBackground(g, e.background, VisualState::Leave, e.rect, ctx.resources);
    }
    const int loaded = e.rect.w * std::clamp(e.position, 0, 100) / 100;
    if (loaded > 0) {
        Gdiplus::SolidBrush load(Gdiplus::Color(static_cast<Gdiplus::ARGB>(e.loadColour)));
        g.FillRectangle(&load, e.rect.x, e.rect.y, loaded, e.rect.h);
    }
}

}  // namespace xcgui
