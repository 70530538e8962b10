// Shape text: a label in its font and colour, left-aligned, vertically centred.
#include "kinds.h"

namespace xcgui {

Size MeasureShapeText(const Element& e) { return MeasureText(e.text, e.font); }

void PaintShapeText(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx) {
    PaintBackground(g, e.background, VisualState::Leave, e.rect, ctx.resources);
    DrawText(g, e.text, e.font, e.textColour, e.rect, TextAlign::Left);
}

}  // namespace xcgui
