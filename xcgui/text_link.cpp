// Text link: text that takes its hover colour while the mouse is over it
// (the window gives it the hand cursor); underlined only when asked.
#include "kinds.h"

namespace xcgui {

Size MeasureTextLink(const Element& e) { return MeasureText(e.text, e.font); }

void PaintTextLink(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx) {
    const bool hot = ctx.StateOf(e) != VisualState::Leave;
    const Argb colour = hot && e.textColourStay ? *e.textColourStay : e.textColour;
    DrawText(g, e.text, e.font, colour, e.rect, TextAlign::Left, hot ? e.underlineStay : e.underlineLeave);
}

}  // namespace xcgui
