#include <algorithm>

#include "notify.h"

namespace xcgui {

namespace {

constexpr int kDefaultWidth = 300;
constexpr int kGap = 8;
constexpr int kTextLeft = 46;

const FontSpec& TitleFont() {
    static const FontSpec f{L"微软雅黑", 10, true};
    return f;
}
const FontSpec& BodyFont() {
    static const FontSpec f{L"微软雅黑", 10, false};
    return f;
}

Argb SkinColour(int skin) {
    switch (skin) {
    case xc::kSkinSuccess: return 0xFF21B573;
    case xc::kSkinWarning: return 0xFFF5A623;
    case xc::kSkinError: return 0xFFE5484D;
    default: return 0xFF3D8BFF;
    }
}

void PaintGlyph(Gdiplus::Graphics& g, int skin, float cx, float cy) {
    Gdiplus::Pen pen(Gdiplus::Color(255, 255, 255, 255), 2.0f);
    pen.SetStartCap(Gdiplus::LineCapRound);
    pen.SetEndCap(Gdiplus::LineCapRound);
    Gdiplus::SolidBrush white(Gdiplus::Color(255, 255, 255, 255));
    switch (skin) {
    case xc::kSkinSuccess: {
        const Gdiplus::PointF pts[] = {{cx - 5, cy}, {cx - 1.5f, cy + 3.5f}, {cx + 5, cy - 3.5f}};
        g.DrawLines(&pen, pts, 3);
        break;
    }
    case xc::kSkinWarning:
        g.DrawLine(&pen, cx, cy - 5, cx, cy + 1.5f);
        g.FillEllipse(&white, cx - 1.3f, cy + 3.5f, 2.6f, 2.6f);
        break;
    case xc::kSkinError:
        g.DrawLine(&pen, cx - 4, cy - 4, cx + 4, cy + 4);
        g.DrawLine(&pen, cx - 4, cy + 4, cx + 4, cy - 4);
        break;
    default:
        g.FillEllipse(&white, cx - 1.3f, cy - 6, 2.6f, 2.6f);
        g.DrawLine(&pen, cx, cy - 1.5f, cx, cy + 5);
        break;
    }
}

}  // namespace

void LayoutPopups(std::vector<Popup>& popups, Size content) {
    int y = 10;
    for (Popup& p : popups) {
        const int w = std::clamp(p.width > 0 ? p.width : kDefaultWidth, 120, std::max(120, content.w - 20));
        int h = p.height;
        if (h <= 0) h = std::max(64, 36 + MeasureWrappedHeight(p.text, BodyFont(), w - kTextLeft - 16) + 14);
        p.rect = {(content.w - w) / 2, y, w, h};
        y += h + kGap;
    }
}

void PaintPopup(Gdiplus::Graphics& g, const Popup& p, bool closeHot) {
    const Rect& r = p.rect;
    const auto rf = [](const Rect& x, float grow) {
        return Gdiplus::RectF(x.x - grow, x.y - grow, x.w + 2 * grow, x.h + 2 * grow);
    };
    // A soft shadow under the card, then the card with its coloured edge.
    for (int k = 3; k >= 1; --k) {
        Rect s = r;
        s.y += 2;
        FillRounded(g, rf(s, static_cast<float>(k)), {8, 8, 8, 8}, WithAlpha(0xFF000000, 14));
    }
    FillRounded(g, rf(r, 0), {6, 6, 6, 6}, 0xFFFFFFFF);
    FillRounded(g, Gdiplus::RectF(r.x, r.y + 6, 4, r.h - 12), {2, 2, 2, 2}, SkinColour(p.skin));
    Gdiplus::SolidBrush icon(Gdiplus::Color(static_cast<Gdiplus::ARGB>(SkinColour(p.skin))));
    const float cx = r.x + 26.0f, cy = r.y + 24.0f;
    g.FillEllipse(&icon, cx - 11, cy - 11, 22.0f, 22.0f);
    PaintGlyph(g, p.skin, cx, cy);

    DrawText(g, p.title, TitleFont(), 0xFF222222, {r.x + kTextLeft, r.y + 12, r.w - kTextLeft - 36, 24},
             TextAlign::Left);
    DrawWrapped(g, p.text, BodyFont(), 0xFF505050, {r.x + kTextLeft, r.y + 38, r.w - kTextLeft - 16, r.h - 44});

    if (p.closeButton) {
        const Rect c = p.CloseRect();
        if (closeHot) FillRounded(g, rf(c, 0), {4, 4, 4, 4}, 0xFFEDEDED);
        Gdiplus::Pen pen(Gdiplus::Color(static_cast<Gdiplus::ARGB>(closeHot ? 0xFF444444 : 0xFF999999)), 1.5f);
        const float mx = c.x + c.w / 2.0f, my = c.y + c.h / 2.0f;
        g.DrawLine(&pen, mx - 4, my - 4, mx + 4, my + 4);
        g.DrawLine(&pen, mx - 4, my + 4, mx + 4, my - 4);
    }
}

}  // namespace xcgui
