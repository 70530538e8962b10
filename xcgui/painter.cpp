#include "painter.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "gdi_owner.h"
#include "kinds.h"
#include "picture.h"
#include "side_work.h"

namespace xcgui {

namespace {

ULONG_PTR g_gdiplusToken = 0;
float g_measureScale = 1.0f;

struct FontKey {
    std::wstring face;
    int size;
    bool bold, underline;
    auto operator<=>(const FontKey&) const = default;
};

// Fonts and the measuring surface live until GDI+ shuts down.
struct Cache {
    std::map<std::wstring, std::wstring> faces;
    std::map<FontKey, std::unique_ptr<Gdiplus::Font>> fonts;
    HDC measureDc = nullptr;
    std::unique_ptr<Gdiplus::Graphics> measure;
    std::unique_ptr<Gdiplus::StringFormat> format;
    // Texts measured before: a layout is measured again whenever a text or a
    // page changes, and most of its texts stay the same.
    std::map<std::tuple<FontKey, float, std::wstring>, Size> measured;
};

Cache& TheCache() {
    FinishSideWork();
    static Cache cache;
    return cache;
}

const Gdiplus::StringFormat& Format() {
    auto& c = TheCache();
    if (!c.format) {
        c.format.reset(Gdiplus::StringFormat::GenericTypographic()->Clone());
        c.format->SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
        c.format->SetLineAlignment(Gdiplus::StringAlignmentCenter);
    }
    return *c.format;
}

Gdiplus::Font& FontFor(const FontSpec& fontSpec, bool underline) {
    auto& c = TheCache();
    FontKey key{fontSpec.face, fontSpec.size, fontSpec.bold, underline};
    auto& slot = c.fonts[key];
    if (!slot) {
        const std::wstring face = ResolvedFace(fontSpec.face);
        int style = fontSpec.bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular;
        if (underline) style |= Gdiplus::FontStyleUnderline;
        slot = std::make_unique<Gdiplus::Font>(face.c_str(), FontPixels(fontSpec.size), style, Gdiplus::UnitPixel);
    }
    return *slot;
}

Gdiplus::Color ToColor(Argb c) { return Gdiplus::Color(static_cast<Gdiplus::ARGB>(c)); }

// Trailing blanks are neither measured nor drawn: a centred text ending in
// one (the slogan) would sit left of the centre by half a blank. GDI+
// under Wine measures them whatever its flags say.
std::wstring_view Drawn(const std::wstring& text) {
    std::wstring_view v = text;
    while (!v.empty() && (v.back() == L' ' || v.back() == L'\x3000')) v.remove_suffix(1);
    return v;
}

}  // namespace

void SetMeasureScale(double scale) {
    FinishSideWork();  // its measuring reads the scale
    g_measureScale = static_cast<float>(scale);
}

bool EnsureGdiplus() {
    if (g_gdiplusToken) return true;
    Gdiplus::GdiplusStartupInput input;
    return Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr) == Gdiplus::Ok;
}

void ShutdownGdiplus() {
    if (!g_gdiplusToken) return;
    auto& c = TheCache();
    c.fonts.clear();
    c.faces.clear();
    c.measured.clear();
    c.measure.reset();
    if (c.measureDc) DeleteDC(c.measureDc);
    c.measureDc = nullptr;
    c.format.reset();
    Gdiplus::GdiplusShutdown(g_gdiplusToken);
    g_gdiplusToken = 0;
}

std::wstring ResolvedFace(const std::wstring& face) {
    auto& faces = TheCache().faces;
    if (auto it = faces.find(face); it != faces.end()) return it->second;
    std::wstring chosen;
    for (const wchar_t* candidate : {face.c_str(), L"WenQuanYi Micro Hei", L"Microsoft YaHei", L"SimSun", L"Tahoma"}) {
        Gdiplus::FontFamily family(candidate);
        if (family.IsAvailable()) {
            chosen = candidate;
            break;
        }
    }
    if (chosen.empty()) {
        WCHAR name[LF_FACESIZE] = L"";
        Gdiplus::FontFamily::GenericSansSerif()->GetFamilyName(name);
        chosen = name;
    }
    return faces[face] = chosen;
}

void PrepareFont(const FontSpec& font) {
    if (!EnsureGdiplus()) return;
    FontFor(font, false);
}

void PrepareTexts(const std::vector<std::pair<std::wstring, FontSpec>>& texts, double scale) {
    if (!EnsureGdiplus()) return;
    g_measureScale = static_cast<float>(scale);
    for (const auto& [text, font] : texts) MeasureText(text, font);
}

Size MeasureText(const std::wstring& text, const FontSpec& font) {
    if (!EnsureGdiplus()) return {};
    auto& c = TheCache();
    if (!c.measure) {
        c.measureDc = CreateCompatibleDC(nullptr);
        c.measure = std::make_unique<Gdiplus::Graphics>(c.measureDc);
        c.measure->SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    }
    auto key = std::make_tuple(FontKey{font.face, font.size, font.bold, false}, g_measureScale, text);
    if (auto it = c.measured.find(key); it != c.measured.end()) return it->second;
    if (c.measured.size() >= 512) c.measured.clear();  // status lines change all the time
    Gdiplus::Font& f = FontFor(font, false);
    // Measured at the drawing scale: hinted text does not grow linearly.
    c.measure->ResetTransform();
    c.measure->ScaleTransform(g_measureScale, g_measureScale);
    Gdiplus::RectF box;
    const std::wstring_view drawn = Drawn(text);
    const std::wstring probe = drawn.empty() ? L" " : std::wstring(drawn);
    c.measure->MeasureString(probe.c_str(), static_cast<INT>(probe.size()), &f, Gdiplus::PointF(0, 0), &Format(),
                             &box);
    const int lineHeight = static_cast<int>(f.GetHeight(96.0f) + 0.99f);
    const Size size{drawn.empty() ? 0 : static_cast<int>(box.Width + 2.99f), lineHeight};
    c.measured.emplace(std::move(key), size);
    return size;
}

void DrawText(Gdiplus::Graphics& g, const std::wstring& text, const FontSpec& font, Argb colour, const Rect& box,
              TextAlign align, bool underline) {
    const std::wstring_view drawn = Drawn(text);
    if (drawn.empty()) return;
    Gdiplus::StringFormat format(&Format());
    format.SetAlignment(align == TextAlign::Centre ? Gdiplus::StringAlignmentCenter : Gdiplus::StringAlignmentNear);
    format.SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
    Gdiplus::SolidBrush brush(ToColor(colour));
    const Gdiplus::RectF r(static_cast<float>(box.x), static_cast<float>(box.y), static_cast<float>(box.w),
                           static_cast<float>(box.h));
    g.DrawString(drawn.data(), static_cast<INT>(drawn.size()), &FontFor(font, underline), r, &format, &brush);
}

namespace {

void AddRounded(Gdiplus::GraphicsPath& path, const Gdiplus::RectF& r, const std::array<int, 4>& radii) {
    const float limit = std::min(r.Width, r.Height) / 2;
    auto d = [&](int k) { return 2 * std::min(static_cast<float>(radii[k]), limit); };
    const float right = r.X + r.Width, bottom = r.Y + r.Height;
    if (d(0) > 0) path.AddArc(r.X, r.Y, d(0), d(0), 180, 90);
    else path.AddLine(r.X, r.Y, r.X, r.Y);
    if (d(1) > 0) path.AddArc(right - d(1), r.Y, d(1), d(1), 270, 90);
    else path.AddLine(right, r.Y, right, r.Y);
    if (d(2) > 0) path.AddArc(right - d(2), bottom - d(2), d(2), d(2), 0, 90);
    else path.AddLine(right, bottom, right, bottom);
    if (d(3) > 0) path.AddArc(r.X, bottom - d(3), d(3), d(3), 90, 90);
    else path.AddLine(r.X, bottom, r.X, bottom);
    path.CloseFigure();
}

}  // namespace

void FillRounded(Gdiplus::Graphics& g, const Gdiplus::RectF& r, const std::array<int, 4>& radii, Argb colour) {
    Gdiplus::SolidBrush brush(ToColor(colour));
    if (radii == std::array<int, 4>{}) {
        g.FillRectangle(&brush, r);
        return;
    }
    Gdiplus::GraphicsPath path;
    AddRounded(path, r, radii);
    g.FillPath(&brush, &path);
}

void DrawRounded(Gdiplus::Graphics& g, const Gdiplus::RectF& r, const std::array<int, 4>& radii, Argb colour) {
    Gdiplus::Pen pen(ToColor(colour), 1.0f);
    Gdiplus::GraphicsPath path;
    AddRounded(path, r, radii);
    g.DrawPath(&pen, &path);
}

void PaintBackground(Gdiplus::Graphics& g, const Background& bk, VisualState state, const Rect& r,
                     const Resources& res) {
    const Gdiplus::RectF rf(static_cast<float>(r.x), static_cast<float>(r.y), static_cast<float>(r.w),
                            static_cast<float>(r.h));
    for (const Fill& fill : bk.For(state)) {
        if (fill.kind == Fill::Kind::Colour) {
            FillRounded(g, rf, fill.radii, fill.colour);
        } else if (auto it = res.images.find(fill.image); it != res.images.end() && it->second.picture) {
            // Device pixels: the graphics is scaled for the DPI.
            Gdiplus::Matrix m;
            g.GetTransform(&m);
            Gdiplus::REAL e[6];
            m.GetElements(e);
            const Rect d = DeviceRect(r, e[0]);
            struct Hdc {
                Gdiplus::Graphics& g;
                HDC dc = g.GetHDC();
                ~Hdc() { g.ReleaseHDC(dc); }
            } hdc{g};
            RECT clip{};
            const Size surface = GetClipBox(hdc.dc, &clip) == ERROR
                                     ? Size{d.Right(), d.Bottom()}
                                     : Size{static_cast<int>(clip.right), static_cast<int>(clip.bottom)};
            const Rect part = ShownPart(d, surface);
            Picture& picture = *it->second.picture;
            HBITMAP scaled = picture.Scaled({d.w, d.h}, part);
            if (!scaled) continue;
            MemoryDc src(CreateCompatibleDC(hdc.dc));
            if (!src) continue;
            Selection selected(src.get(), scaled);
            const int x = d.x + part.x, y = d.y + part.y;
            if (picture.Opaque()) {
                BitBlt(hdc.dc, x, y, part.w, part.h, src.get(), 0, 0, SRCCOPY);
            } else {
                BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
                GdiAlphaBlend(hdc.dc, x, y, part.w, part.h, src.get(), 0, 0, part.w, part.h, blend);  // gdi32: no msimg32 to load
            }
        }
    }
}

Rect DeviceRect(const Rect& r, double scale) {
    const auto device = [&](int v) {
        return static_cast<int>(std::lround(static_cast<float>(v) * static_cast<float>(scale)));
    };
    const int x = device(r.x), y = device(r.y);
    return {x, y, device(r.Right()) - x, device(r.Bottom()) - y};
}

Rect ShownPart(const Rect& device, Size surface) {
    const long long left = std::max(0, -device.x), top = std::max(0, -device.y);
    const long long right = std::min<long long>(device.w, static_cast<long long>(surface.w) - device.x);
    const long long bottom = std::min<long long>(device.h, static_cast<long long>(surface.h) - device.y);
    if (right <= left || bottom <= top) return {};
    return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left), static_cast<int>(bottom - top)};
}

std::vector<PictureToDraw> PicturesToDraw(Element& root, const Resources& res, double scale, Size surface) {
    std::vector<PictureToDraw> pictures;
    ForEach(root, [&](Element& e) {
        if (!Visible(e) || e.rect.w <= 0 || e.rect.h <= 0) return;
        for (const Fill& fill : e.background.For(VisualState::Leave)) {
            if (fill.kind != Fill::Kind::Image) continue;
            const auto it = res.images.find(fill.image);
            if (it == res.images.end() || !it->second.picture) continue;
            const Rect d = DeviceRect(e.rect, scale);
            pictures.push_back({it->second.picture, Size{d.w, d.h}, ShownPart(d, surface)});
        }
    });
    return pictures;
}

Size MeasureElement(const Element& e) {
    switch (e.kind) {
    case Kind::Button: return MeasureButton(e);
    case Kind::ShapeText: return MeasureShapeText(e);
    case Kind::TextLink: return MeasureTextLink(e);
    default: return {e.designRect.w, e.designRect.h};
    }
}

void PaintFocusCue(Gdiplus::Graphics& g, const Rect& r) {
    Gdiplus::Pen pen(Gdiplus::Color(160, 0, 0, 0), 1.0f);
    pen.SetDashStyle(Gdiplus::DashStyleDot);
    g.DrawRectangle(&pen, static_cast<float>(r.x) + 1.5f, static_cast<float>(r.y) + 1.5f,
                    static_cast<float>(r.w) - 3.0f, static_cast<float>(r.h) - 3.0f);
}

void PaintTree(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx, const Rect* within) {
    if (!e.shown || e.rect.w <= 0 || e.rect.h <= 0) return;
    // Clipped drawing still costs nearly the whole drawing under Wine's GDI+.
    // Children are visited anyway: a float may lie outside its parent.
    const bool reaches = !within || Rect{e.rect.x - 2, e.rect.y - 2, e.rect.w + 4, e.rect.h + 4}.Overlaps(*within);
    if (!reaches) {
        for (const auto& c : e.children) PaintTree(g, *c, ctx, within);
        return;
    }
    switch (e.kind) {
    case Kind::Window:
    case Kind::Layout: PaintBackground(g, e.background, VisualState::Leave, e.rect, ctx.resources); break;
    case Kind::Button: PaintButton(g, e, ctx); break;
    case Kind::ShapeText: PaintShapeText(g, e, ctx); break;
    case Kind::TextLink: PaintTextLink(g, e, ctx); break;
    case Kind::Edit: PaintEdit(g, e, ctx); break;
    case Kind::ProgressBar: PaintProgressBar(g, e, ctx); break;
    }
    if (ctx.focusCues && &e == ctx.focus && e.kind != Kind::Edit) PaintFocusCue(g, e.rect);
    for (const auto& c : e.children) PaintTree(g, *c, ctx, within);
}

}  // namespace xcgui

namespace xcgui {

int MeasureWrappedHeight(const std::wstring& text, const FontSpec& font, int width) {
    if (text.empty() || !EnsureGdiplus()) return 0;
    MeasureText(L" ", font);  // makes the measuring surface
    Gdiplus::StringFormat format(Gdiplus::StringFormat::GenericTypographic());
    Gdiplus::RectF box;
    TheCache().measure->MeasureString(text.c_str(), static_cast<INT>(text.size()), &FontFor(font, false),
                                      Gdiplus::RectF(0, 0, static_cast<float>(width), 10000.0f), &format, &box);
    return static_cast<int>(box.Height + 1.99f);
}

void DrawWrapped(Gdiplus::Graphics& g, const std::wstring& text, const FontSpec& font, Argb colour, const Rect& box) {
    Gdiplus::StringFormat format(Gdiplus::StringFormat::GenericTypographic());
    format.SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
    Gdiplus::SolidBrush brush(ToColor(colour));
    g.DrawString(text.c_str(), static_cast<INT>(text.size()), &FontFor(font, false),
                 Gdiplus::RectF(static_cast<float>(box.x), static_cast<float>(box.y), static_cast<float>(box.w),
                                static_cast<float>(box.h)),
                 &format, &brush);
}

}  // namespace xcgui
