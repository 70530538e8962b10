// The layout engine: places every shown element of a tree, in design units.
//
// Rules (the designer's intent for this layout format):
// - A box stacks its children vertically, or in a row with layout.horizon.
//   When layout.horizon is not given, a box whose children share the width
//   by weight (":N") is a row, otherwise a column.
// - Sizes: N pixels, "fill" (the parent's inner size less the margins),
//   "auto" (the content's size), ":N" (share of what fixed and auto siblings
//   leave on the main axis), or, when not given, the size of the rect.
// - padding and layout.margin are left, top, right, bottom.
// - alignH/alignV place the children: along the main axis as one block, on
//   the cross axis each child (alignBaseline stands in for alignV in rows).
//   On the cross axis a child stays inside its parent's inner box.
// - layout.float takes an element out of the flow: the floats of a box form
//   one line at its right inner edge (the last one rightmost), placed
//   vertically by the box's alignV, at the bottom when it gives none.
// - Hidden elements take no part.
#pragma once

#include <functional>

#include "element.h"

namespace xcgui {

// Content size of an element whose size is "auto".
using MeasureFn = std::function<Size(const Element&)>;

// Lays out the window's content area (the window less its shadow band).
void LayoutWindow(Element& root, Size content, const MeasureFn& measure);

// Lays out the children of a box whose own rect is already set.
void LayoutChildren(Element& box, const MeasureFn& measure);

}  // namespace xcgui
