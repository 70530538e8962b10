// Drawing with GDI+: start-up, fonts (with a fallback face), text, and the
// background fills. The element kinds draw themselves with these.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "element.h"
#include "resources.h"

namespace xcgui {

// Starts GDI+ once for the process; later calls do nothing.
bool EnsureGdiplus();
void ShutdownGdiplus();

// The face that is drawn for a wanted one: itself when installed, else an
// installed CJK face (GDI+ draws nothing at all for a missing face).
std::wstring ResolvedFace(const std::wstring& face);

// Pixel height of a font of the given point size at 96 DPI.
inline float FontPixels(int points) { return static_cast<float>(points) * 96.0f / 72.0f; }

Size MeasureText(const std::wstring& text, const FontSpec& font);
// Ahead of need, on the side thread: resolves the face and makes the font,
// or measures the texts at the given scale.
void PrepareFont(const FontSpec& font);
void PrepareTexts(const std::vector<std::pair<std::wstring, FontSpec>>& texts, double scale);
// The scale the measured texts will be drawn at (the window's DPI scale).
void SetMeasureScale(double scale);

enum class TextAlign { Left, Centre };

void DrawText(Gdiplus::Graphics& g, const std::wstring& text, const FontSpec& font, Argb colour, const Rect& box,
              TextAlign align, bool underline = false);

void FillRounded(Gdiplus::Graphics& g, const Gdiplus::RectF& r, const std::array<int, 4>& radii, Argb colour);
// A one-pixel outline of the same rounded shape.
void DrawRounded(Gdiplus::Graphics& g, const Gdiplus::RectF& r, const std::array<int, 4>& radii, Argb colour);

void PaintBackground(Gdiplus::Graphics& g, const Background& bk, VisualState state, const Rect& r,
                     const Resources& res);

// What the kinds need to know while drawing.
struct PaintContext {
    const Resources& resources;
    const Element* hover = nullptr;
    const Element* pressed = nullptr;
    const Element* focus = nullptr;
    bool focusCues = false;  // focus came from the keyboard
    VisualState StateOf(const Element& e) const {
        if (&e == pressed && &e == hover) return VisualState::Down;
        if (&e == hover || (&e == pressed)) return VisualState::Stay;
        return VisualState::Leave;
    }
};

// An element's box in device pixels at a scale, as backgrounds are drawn.
Rect DeviceRect(const Rect& r, double scale);
// The part of a box (device pixels) that falls on a surface of the given
// size, relative to the box.
Rect ShownPart(const Rect& device, Size surface);
// A picture the background of a shown element draws: the device size it is
// stretched to and the part of that a surface of the given size shows.
struct PictureToDraw {
    std::shared_ptr<Picture> picture;
    Size size;
    Rect part;
};
std::vector<PictureToDraw> PicturesToDraw(Element& root, const Resources& res, double scale, Size surface);

// Paints an element and its shown children; with `within` (design units)
// only those that reach into it.
void PaintTree(Gdiplus::Graphics& g, const Element& e, const PaintContext& ctx, const Rect* within = nullptr);

// Content size of an element for "auto".
Size MeasureElement(const Element& e);

}  // namespace xcgui

namespace xcgui {

// Wrapped text for the notification popups.
int MeasureWrappedHeight(const std::wstring& text, const FontSpec& font, int width);
void DrawWrapped(Gdiplus::Graphics& g, const std::wstring& text, const FontSpec& font, Argb colour, const Rect& box);

}  // namespace xcgui
