#include "layout.h"

#include <algorithm>

namespace xcgui {

namespace {

// Where elements beyond any window are put: far enough, and still far from
// overflowing when their sizes are added.
constexpr long long kFar = 1 << 28;

struct Axis {
    bool horizontal;
    int Main(const Rect& r) const { return horizontal ? r.w : r.h; }
    int Cross(const Rect& r) const { return horizontal ? r.h : r.w; }
    int MainStart(const Rect& r) const { return horizontal ? r.x : r.y; }
    int CrossStart(const Rect& r) const { return horizontal ? r.y : r.x; }
    int MarginMainBefore(const Box& m) const { return horizontal ? m.left : m.top; }
    int MarginMainAfter(const Box& m) const { return horizontal ? m.right : m.bottom; }
    int MarginCrossBefore(const Box& m) const { return horizontal ? m.top : m.left; }
    int MarginCrossAfter(const Box& m) const { return horizontal ? m.bottom : m.right; }
    const SizeSpec& MainSpec(const Element& e) const { return horizontal ? e.width : e.height; }
    const SizeSpec& CrossSpec(const Element& e) const { return horizontal ? e.height : e.width; }
};

Rect Inner(const Element& e) {
    const Box& p = e.padding;
    return {e.rect.x + p.left, e.rect.y + p.top, std::max(0, e.rect.w - p.left - p.right),
            std::max(0, e.rect.h - p.top - p.bottom)};
}

// Size on one axis for every mode but Weight (which the caller resolves).
int FixedSize(const Element& e, const SizeSpec& sizeSpec, bool horizontalAxis, int available, int margins,
              const MeasureFn& measure) {
    switch (sizeSpec.mode) {
    case SizeSpec::Mode::Pixels: return sizeSpec.value;
    case SizeSpec::Mode::Fill:
    case SizeSpec::Mode::Weight: return std::max(0, available - margins);
    case SizeSpec::Mode::Auto: {
        const Size s = measure(e);
        return horizontalAxis ? s.w : s.h;
    }
    case SizeSpec::Mode::FromRect: break;
    }
    return horizontalAxis ? e.designRect.w : e.designRect.h;
}

bool IsRow(const Element& box) {
    if (box.horizontal) return *box.horizontal;
    return std::any_of(box.children.begin(), box.children.end(), [](const auto& c) {
        return c->shown && !c->floating && c->width.mode == SizeSpec::Mode::Weight;
    });
}

int Offset(Align align, int space) {
    if (align == Align::Center) return std::max(0, space / 2);
    if (align == Align::End) return space;
    return 0;
}

void LayoutFloats(Element& box, const Rect& inner, const MeasureFn& measure) {
    std::vector<Element*> floats;
    for (auto& c : box.children)
        if (c->shown && c->floating) floats.push_back(c.get());
    if (floats.empty()) return;

    int lineHeight = 0;
    for (auto* f : floats) {
        const Box& m = f->margin;
        f->rect.w = FixedSize(*f, f->width, true, inner.w, m.left + m.right, measure);
        f->rect.h = FixedSize(*f, f->height, false, inner.h, m.top + m.bottom, measure);
        lineHeight = std::max(lineHeight, f->rect.h + m.top + m.bottom);
    }
    const Align v = box.alignV == Align::Unset ? Align::End : box.alignV;
    const int lineTop = inner.y + (v == Align::Start ? 0 : v == Align::Center ? (inner.h - lineHeight) / 2
                                                                              : inner.h - lineHeight);
    int right = inner.Right();
    for (auto it = floats.rbegin(); it != floats.rend(); ++it) {
        Element& f = **it;
        const Box& m = f.margin;
        f.rect.x = right - m.right - f.rect.w;
        right = f.rect.x - m.left;
        f.rect.y = lineTop + m.top + (lineHeight - (f.rect.h + m.top + m.bottom)) / 2;
    }
}

}  // namespace

void LayoutChildren(Element& box, const MeasureFn& measure) {
    const Rect inner = Inner(box);
    const Axis axis{IsRow(box)};

    std::vector<Element*> flow;
    for (auto& c : box.children)
        if (c->shown && !c->floating) flow.push_back(c.get());

    // Main axis: fixed sizes first, then weights share what is left. Sums in
    // 64 bits: a box may hold any number of children.
    long long used = 0, weights = 0;
    for (auto* c : flow) {
        const Box& m = c->margin;
        const int margins = axis.MarginMainBefore(m) + axis.MarginMainAfter(m);
        used += margins;
        const SizeSpec& sizeSpec = axis.MainSpec(*c);
        if (sizeSpec.mode == SizeSpec::Mode::Weight) {
            weights += sizeSpec.value;
            continue;
        }
        const int size = FixedSize(*c, sizeSpec, axis.horizontal, axis.Main(inner), margins, measure);
        (axis.horizontal ? c->rect.w : c->rect.h) = size;
        used += size;
    }
    long long left = std::max(0LL, axis.Main(inner) - used);
    for (auto* c : flow) {
        const SizeSpec& sizeSpec = axis.MainSpec(*c);
        if (sizeSpec.mode != SizeSpec::Mode::Weight) continue;
        const int share = weights > 0 ? static_cast<int>(left * sizeSpec.value / weights) : 0;
        left -= share;
        weights -= sizeSpec.value;
        (axis.horizontal ? c->rect.w : c->rect.h) = share;
        used += share;
    }

    // Cross axis, then positions.
    const Align mainAlign = axis.horizontal ? box.alignH : box.alignV;
    Align crossAlign = axis.horizontal ? box.alignV : box.alignH;
    if (axis.horizontal && crossAlign == Align::Unset) crossAlign = box.alignBaseline;
    long long pos = axis.MainStart(inner) + Offset(mainAlign, static_cast<int>(std::max(-kFar, axis.Main(inner) - used)));
    for (auto* c : flow) {
        const Box& m = c->margin;
        const int before = axis.MarginCrossBefore(m), after = axis.MarginCrossAfter(m);
        const int room = axis.Cross(inner);
        int size = FixedSize(*c, axis.CrossSpec(*c), !axis.horizontal, room, before + after, measure);
        size = std::min(size, room);
        int cross = axis.CrossStart(inner) + before;
        if (crossAlign == Align::Center) cross = axis.CrossStart(inner) + (room - size + before - after) / 2;
        else if (crossAlign == Align::End) cross = axis.CrossStart(inner) + room - after - size;
        cross = std::clamp(cross, axis.CrossStart(inner), axis.CrossStart(inner) + room - size);

        pos += axis.MarginMainBefore(m);
        if (axis.horizontal) {
            c->rect.x = static_cast<int>(std::min(pos, kFar));
            c->rect.y = cross;
            c->rect.h = size;
            pos += c->rect.w;
        } else {
            c->rect.y = static_cast<int>(std::min(pos, kFar));
            c->rect.x = cross;
            c->rect.w = size;
            pos += c->rect.h;
        }
        pos += axis.MarginMainAfter(m);
    }

    LayoutFloats(box, inner, measure);
    for (auto& c : box.children)
        if (c->shown) LayoutChildren(*c, measure);
}

void LayoutWindow(Element& root, Size content, const MeasureFn& measure) {
    root.rect = {0, 0, content.w, content.h};
    LayoutChildren(root, measure);
}

}  // namespace xcgui
