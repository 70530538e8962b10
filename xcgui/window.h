// A layout window on screen: the content window (the drawn layout and its
// native edit controls) and, around it, a layered window with the shadow.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "gdi_owner.h"
#include "layout_parser.h"
#include "notify.h"
#include "painter.h"

namespace xcgui {

class Window {
public:
    Window(ParsedLayout layout, double scale);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // The window is made once, when it is first shown or its handle is first
    // asked for: then its first frame can be drawn while it is being made.
    bool Create();
    bool Show(bool show);
    void Destroy();
    HWND Hwnd() {
        Create();
        return hwnd_;
    }
    Element& Root() { return *root_; }
    const WindowSpec& Definition() const { return spec_; }
    Size ContentSize() const;

    void Relayout();
    void EnsureLayout();
    // An element's text, state or visibility changed.
    void Changed(const Element& e, bool affectsLayout);
    // The content of an element sized by it changed: when its box keeps its
    // own size, only that box is laid out again.
    void ContentChanged(Element& e);
    void Redraw(const Element* e, bool now);
    xc::Handle AddPopup(Popup popup);

    // Keys for the dialog behaviour, before the message is dispatched.
    bool PreTranslate(const MSG& msg);

    // For screen readers.
    const Element* Focused() const { return focus_; }
    const std::vector<Popup>& Popups() const { return popups_; }
    RECT ScreenRect(const Rect& r) const;
    void TakeFocus(xc::Handle element);
    void PostDefaultAction(xc::Handle element);
    // Tells screen readers about a change of an element (0: the client area).
    void Notify(DWORD event, xc::Handle element) const;

    xc::Handle handle = 0;
    bool dragBorder = true;

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void Paint();
    bool MakeBackBuffer(HDC compatible, Size size);
    PaintContext Context() const;
    // The whole frame, or only what lies in `clip` (device pixels).
    void Render(const PaintContext& ctx, const RECT* clip = nullptr);
    void LayOut();
    void AfterLayout();
    void PlaceNativeControls();
    void InvalidateAll();
    void LayOutBoxes();
    static std::vector<std::pair<Rect, bool>> Places(Element& top);
    void InvalidateMoved(Element& top, const std::vector<std::pair<Rect, bool>>& before);
    void UpdateShadow();
    void ShowShadow();
    void ScalePicturesBeside();
    Element* HitTest(int x, int y);
    Popup* PopupAt(int x, int y);
    void SetHover(Element* e);
    void Activate(Element& e);
    void MoveFocus(bool backwards);
    void FocusElement(Element* e, bool cues);
    void RemovePopup(xc::Handle h);
    void Invalidate(const Rect& r);
    POINT Design(LPARAM lp) const;
    void OnDestroyed();

    WindowSpec spec_;
    std::unique_ptr<Element> root_;
    double scale_;
    bool created_ = false;
    HWND hwnd_ = nullptr;
    HWND shadow_ = nullptr;  // made after the first paint
    bool layoutDirty_ = true;
    // Where the elements stood (and whether shown) before the pending
    // layout; what moves is repainted, not the whole window.
    std::vector<std::pair<Rect, bool>> placesBefore_;
    std::vector<Element*> boxesDirty_;  // boxes whose children alone are laid out again
    Element* hover_ = nullptr;
    Element* pressed_ = nullptr;
    Element* focus_ = nullptr;
    bool focusCues_ = false;
    UINT armedKey_ = 0;      // Enter or Space went down on ...
    xc::Handle armed_ = 0;   // ... this element

    bool tracking_ = false;
    std::vector<Popup> popups_;
    xc::Handle popupPressed_ = 0;
    xc::Handle popupHot_ = 0;
    BitmapDc back_;  // the frame, drawn here and copied to the window
    Size backSize_;
    unsigned changes_ = 0;       // counts everything that changes the picture
    bool frameAhead_ = false;    // the back buffer is being drawn beside
    unsigned frameAheadOf_ = 0;  // ... as things stood at this count
};

}  // namespace xcgui
