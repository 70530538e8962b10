// The element tree of a loaded layout. Every element kind shares this one
// record; the kind modules (button.cpp, shape_text.cpp, ...) give it its
// measure, paint and input behaviour.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include "ui_library.h"
#endif

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "geometry.h"
#include "resources.h"

namespace xcgui {

#ifdef _WIN32
using ElementHandle = xc::Handle;
using ClickHandler = xc::ClickCallback;
using NativeWindow = HWND;
#else
// Off Windows the tree is only parsed (the packer's skin check): it never
// gets handles, click handlers or native windows.
using ElementHandle = int;
using ClickHandler = void*;
using NativeWindow = void*;
#endif

enum class Kind { Window, Layout, Button, ShapeText, TextLink, Edit, ProgressBar };

enum class ButtonType { Default, Check, Radio, Close };

enum class Align { Unset, Start, Center, End };

// layout.width / layout.height
struct SizeSpec {
    enum class Mode { FromRect, Pixels, Fill, Auto, Weight } mode = Mode::FromRect;
    int value = 0;
    bool operator==(const SizeSpec&) const = default;
};

struct Element {
    Kind kind = Kind::Layout;
    ElementHandle handle = 0;
    std::wstring name;
    int id = 0;
    Element* parent = nullptr;
    std::vector<std::unique_ptr<Element>> children;

    // Designer's geometry and the layout attributes.
    Rect designRect;
    SizeSpec width, height;
    Box margin, padding;
    std::optional<bool> horizontal;
    Align alignH = Align::Unset, alignV = Align::Unset, alignBaseline = Align::Unset;
    bool floating = false;
    bool shown = true;
    bool enabled = true;

    // Look.
    Background background;
    FontSpec font;
    Argb textColour = 0xFF333333;
    std::optional<Argb> textColourStay;
    bool underlineLeave = false, underlineStay = false;
    bool handCursor = false;
    std::wstring text;

    // Buttons.
    ButtonType buttonType = ButtonType::Default;
    bool checkStyle = false, closeStyle = false;
    bool checked = false;
    int bindId = 0;
    std::vector<ClickHandler> clickHandlers;

    // Progress bar.
    int position = 0;
    Argb loadColour = 0xFF00CC65;

    // Edit: the native text field, when the window exists.
    NativeWindow native = nullptr;

    // Result of the layout, in window content coordinates (design units).
    Rect rect;

    bool Interactive() const { return kind == Kind::Button || kind == Kind::TextLink || kind == Kind::Edit; }
    // The window's close button, by its type or by the close style.
    bool IsClose() const { return kind == Kind::Button && (buttonType == ButtonType::Close || closeStyle); }
};

// The window's own attributes from its windowUI element.
struct WindowSpec {
    Size size{592, 442};
    std::wstring caption;
    bool centre = true;
    int shadowSize = 0;
    Argb shadowColour = 0xFF000000;
    int shadowDepth = 255;
};

// True when the element and all its ancestors are shown.
inline bool Visible(const Element& e) {
    for (auto* p = &e; p; p = p->parent)
        if (!p->shown) return false;
    return true;
}

// True when the layout measures the element's content for its size.
inline bool SizedByContent(const Element& e) {
    return e.width.mode == SizeSpec::Mode::Auto || e.height.mode == SizeSpec::Mode::Auto;
}

template <typename F>
void ForEach(Element& e, F&& f) {
    f(e);
    for (auto& c : e.children) ForEach(*c, f);
}

}  // namespace xcgui
