// Edit box: we draw the frame; a native EDIT control inside it does the
// typing, caret, selection, clipboard and input methods.
#include <map>
#include <tuple>

#include "kinds.h"

namespace xcgui {

namespace {

struct FontDeleter {
    void operator()(HFONT f) const { DeleteObject(f); }
};
using FontPtr = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

std::map<std::tuple<std::wstring, int, bool, int>, FontPtr>& Fonts() {
    static std::map<std::tuple<std::wstring, int, bool, int>, FontPtr> fonts;
    return fonts;
}

HFONT EditFont(const FontSpec& fontSpec, double scale) {
    const int pixels = static_cast<int>(FontPixels(fontSpec.size) * scale + 0.5);
    auto& slot = Fonts()[{fontSpec.face, fontSpec.size, fontSpec.bold, pixels}];
    if (!slot) {
        const std::wstring face = ResolvedFace(fontSpec.face);
        slot.reset(CreateFontW(-pixels, 0, 0, 0, fontSpec.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, face.c_str()));
    }
    return slot.get();
}

}  // namespace

void PaintEdit(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx) {
    Gdiplus::SolidBrush white(Gdiplus::Color(255, 255, 255, 255));
    g.FillRectangle(&white, e.rect.x, e.rect.y, e.rect.w, e.rect.h);
    const bool focused = ctx.focus == &e;
    Gdiplus::Pen border(Gdiplus::Color(static_cast<Gdiplus::ARGB>(focused ? 0xFF20D5B8 : 0xFFC8C8C8)), 1.0f);
    g.DrawRectangle(&border, e.rect.x + 0.5f, e.rect.y + 0.5f, e.rect.w - 1.0f, e.rect.h - 1.0f);
}

HWND CreateEditControl(HWND parent, Element& e, double scale) {
    e.native = CreateWindowExW(0, L"EDIT", e.text.c_str(), WS_CHILD | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, 0, 0, 0,
                               0, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (e.native) SendMessageW(e.native, WM_SETFONT, reinterpret_cast<WPARAM>(EditFont(e.font, scale)), FALSE);
    return e.native;
}

void PlaceEditControl(const Element& e, double scale) {
    if (!e.native) return;
    if (!Visible(e) || e.rect.w <= 10 || e.rect.h <= 4) {
        ShowWindow(e.native, SW_HIDE);
        return;
    }
    const int line = static_cast<int>((FontPixels(e.font.size) * 1.35) * scale + 0.5);
    const int x = static_cast<int>((e.rect.x + 5) * scale);
    const int w = static_cast<int>((e.rect.w - 10) * scale);
    const int top = static_cast<int>((e.rect.y + 1) * scale), bottom = static_cast<int>((e.rect.Bottom() - 1) * scale);
    const int h = std::min(line, bottom - top);
    SetWindowPos(e.native, nullptr, x, top + (bottom - top - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(e.native, SW_SHOWNA);
}

void SetEditControlText(Element& e, const std::wstring& text) {
    e.text = text;
    if (e.native) SetWindowTextW(e.native, text.c_str());
}

const std::wstring& EditControlText(Element& e) {
    if (e.native) {
        const int n = GetWindowTextLengthW(e.native);
        std::wstring text(n + 1, L'\0');
        text.resize(GetWindowTextW(e.native, text.data(), n + 1));
        e.text = std::move(text);
    }
    return e.text;
}

void ReleaseEditFonts() { Fonts().clear(); }

}  // namespace xcgui
