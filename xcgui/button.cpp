// Buttons: default push buttons (own look or the layout's per-state
// background), check boxes, radio buttons and the window's close button.
#include <algorithm>

#include "kinds.h"

namespace xcgui {

namespace {

constexpr int kBox = 16;  // check box square
constexpr int kGap = 6;   // between the box and its text
constexpr Argb kTeal = 0xFF20D5B8;

bool DrawsCheckBox(const Element& e) { return e.checkStyle || (e.buttonType == ButtonType::Check && e.background.Empty()); }

void PaintCheckBox(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx) {
    const float x = static_cast<float>(e.rect.x) + 0.5f;
    const float y = static_cast<float>(e.rect.y) + (static_cast<float>(e.rect.h) - kBox) / 2 + 0.5f;
    const bool hot = ctx.StateOf(e) != VisualState::Leave;
    Gdiplus::SolidBrush white(Gdiplus::Color(255, 255, 255, 255));
    g.FillRectangle(&white, x, y, static_cast<float>(kBox - 1), static_cast<float>(kBox - 1));
    Gdiplus::Pen frame(Gdiplus::Color(static_cast<Gdiplus::ARGB>(e.checked || hot ? kTeal : 0xFFB0B0B0)), 1.5f);
    g.DrawRectangle(&frame, x, y, static_cast<float>(kBox - 1), static_cast<float>(kBox - 1));
    if (e.checked) {
        Gdiplus::Pen tick(Gdiplus::Color(static_cast<Gdiplus::ARGB>(kTeal)), 2.0f);
        tick.SetLineJoin(Gdiplus::LineJoinRound);
        const Gdiplus::PointF pts[] = {{x + 3.5f, y + 7.5f}, {x + 6.5f, y + 10.5f}, {x + 11.5f, y + 4.5f}};
        g.DrawLines(&tick, pts, 3);
    }
    Rect text = e.rect;
    text.x += kBox + kGap;
    text.w = std::max(0, text.w - kBox - kGap);
    DrawText(g, e.text, e.font, e.textColour, text, TextAlign::Left);
}

void PaintClose(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx) {
    const VisualState s = ctx.StateOf(e);
    if (s != VisualState::Leave) {
        Gdiplus::SolidBrush hot(Gdiplus::Color(s == VisualState::Down ? 90 : 50, 255, 255, 255));
        g.FillRectangle(&hot, e.rect.x, e.rect.y, e.rect.w, e.rect.h);
    }
    const float cx = e.rect.x + e.rect.w / 2.0f, cy = e.rect.y + e.rect.h / 2.0f, half = 5.5f;
    Gdiplus::Pen pen(Gdiplus::Color(255, 255, 255, 255), 1.6f);
    g.DrawLine(&pen, cx - half, cy - half, cx + half, cy + half);
    g.DrawLine(&pen, cx - half, cy + half, cx + half, cy - half);
}

void PaintPush(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx) {
    const VisualState s = ctx.StateOf(e);
    if (!e.background.Empty()) {
        PaintBackground(g, e.background, s, e.rect, ctx.resources);
    } else {
        const Argb fill = s == VisualState::Down ? 0xFFDADADA : s == VisualState::Stay ? 0xFFE8E8E8 : 0xFFF5F5F5;
        const Gdiplus::RectF r(e.rect.x + 0.5f, e.rect.y + 0.5f, e.rect.w - 1.0f, e.rect.h - 1.0f);
        FillRounded(g, r, {3, 3, 3, 3}, fill);
        DrawRounded(g, r, {3, 3, 3, 3}, 0xFFC8C8C8);
    }
    DrawText(g, e.text, e.font, e.textColour, e.rect, TextAlign::Centre);
}

}  // namespace

Size MeasureButton(const Element& e) {
    const Size t = MeasureText(e.text, e.font);
    if (DrawsCheckBox(e)) return {kBox + kGap + t.w, std::max(kBox, t.h)};
    return {t.w + 24, t.h + 10};
}

void PaintButton(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx) {
    if (DrawsCheckBox(e)) PaintCheckBox(g, e, ctx);
    else if (e.IsClose()) PaintClose(g, e, ctx);
    else PaintPush(g, e, ctx);
}

}  // namespace xcgui
