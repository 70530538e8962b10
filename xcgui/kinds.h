// Measure and paint of each element kind (one module per kind).
#pragma once

#include "painter.h"

namespace xcgui {

Size MeasureButton(const Element& e);
void PaintButton(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx);

Size MeasureShapeText(const Element& e);
void PaintShapeText(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx);

Size MeasureTextLink(const Element& e);
void PaintTextLink(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx);

void PaintEdit(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx);
void PaintProgressBar(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx);

// A dashed outline for the element that has the keyboard focus.
void PaintFocusCue(Gdiplus::Graphics& g, const Rect& r);

}  // namespace xcgui

namespace xcgui {

// The edit box is a native EDIT control laid over the element's frame.
HWND CreateEditControl(HWND parent, Element& e, double scale);
void PlaceEditControl(const Element& e, double scale);
void SetEditControlText(Element& e, const std::wstring& text);
const std::wstring& EditControlText(Element& e);
void ReleaseEditFonts();

}  // namespace xcgui
