#include "window.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "accessible.h"
#include "kinds.h"
#include "layout.h"
#include "library.h"
#include "picture.h"
#include "side_work.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace xcgui {

namespace {

const wchar_t kContentClass[] = L"XCGUI_Window";
const wchar_t kShadowClass[] = L"XCGUI_Shadow";
const UINT kShowShadow = WM_APP + 0x58;
const UINT kDefaultAction = WM_APP + 0x59;  // wParam: the element

HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

void RegisterClasses() {
    static bool done = false;
    if (done) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = Module();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kShadowClass;
    RegisterClassExW(&wc);
    done = true;
}

int Scaled(int v, double scale) { return static_cast<int>(std::lround(v * scale)); }


Element* Deepest(Element& e, int x, int y) {
    if (!e.shown || !e.rect.Contains(x, y)) return nullptr;
    for (auto it = e.children.rbegin(); it != e.children.rend(); ++it)
        if (Element* hit = Deepest(**it, x, y)) return hit;
    return &e;
}

}  // namespace

Window::Window(ParsedLayout layout, double scale)
    : spec_(std::move(layout.window)), root_(std::move(layout.root)), scale_(scale) {}

Window::~Window() {
    FinishSideWork();  // a frame drawn ahead may still be using the back buffer
    Destroy();
}

Size Window::ContentSize() const {
    return {spec_.size.w - 2 * spec_.shadowSize, spec_.size.h - 2 * spec_.shadowSize};
}

bool Window::Create() {
    if (created_) return hwnd_ != nullptr;
    created_ = true;
    RegisterClasses();
    static bool contentRegistered = false;
    if (!contentRegistered) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = Proc;
        wc.hInstance = Module();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kContentClass;
        contentRegistered = RegisterClassExW(&wc) != 0;
    }

    const Size content = ContentSize();
    const int fullW = Scaled(spec_.size.w, scale_), fullH = Scaled(spec_.size.h, scale_);
    const int shadow = Scaled(spec_.shadowSize, scale_);
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int x = 0, y = 0;
    if (spec_.centre) {
        x = work.left + (work.right - work.left - fullW) / 2;
        y = work.top + (work.bottom - work.top - fullH) / 2;
    }

    hwnd_ = CreateWindowExW(WS_EX_APPWINDOW, kContentClass, spec_.caption.c_str(),
                            WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, x + shadow, y + shadow,
                            Scaled(content.w, scale_), Scaled(content.h, scale_), nullptr, nullptr, Module(), this);
    if (!hwnd_) return false;
    // A layout made before the window waits for its edit controls. The shadow
    // window is made after the first paint (ShowShadow).
    if (!layoutDirty_ && !frameAhead_) PlaceNativeControls();
    return true;
}

// The shadow: a layered window around the content, its band fading out and
// its inside clear. Owned by the content, it stays right above it in the
// z-order, hides when it is minimised and passes every click through.
void Window::UpdateShadow() {
    const int s = Scaled(spec_.shadowSize, scale_);
    if (!shadow_ || s <= 0) return;
    const int w = Scaled(spec_.size.w, scale_), h = Scaled(spec_.size.h, scale_);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const WindowDc screen(nullptr);
    const BitmapDc dc(screen.get(), CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dc) return;
    auto* px = static_cast<std::uint32_t*>(bits);
    const Argb c = spec_.shadowColour;
    for (int y = 0; y < h; ++y) {
        const bool band = y < s || y >= h - s;
        for (int x = 0; x < w; ++x) {
            if (!band && x == s) x = w - s;  // the inside stays clear
            const int dx = std::max({s - x, x - (w - 1 - s), 0});
            const int dy = std::max({s - y, y - (h - 1 - s), 0});
            const int d = std::max(dx, dy);  // square corners
            std::uint32_t value = 0;
            if (d > 0) {
                const double t = 1.0 - (d - 0.5) / s;
                const int a = static_cast<int>(spec_.shadowDepth * 0.28 * t * t);
                const auto pm = [&](int shift) { return (((c >> shift) & 0xFF) * a / 255) << shift; };
                value = (static_cast<std::uint32_t>(a) << 24) | pm(16) | pm(8) | pm(0);
            }
            px[y * w + x] = value;
        }
    }
    RECT wr;
    GetWindowRect(shadow_, &wr);
    POINT pos{wr.left, wr.top}, src{0, 0};
    SIZE size{w, h};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(shadow_, screen.get(), &pos, &size, dc.get(), &src, 0, &blend, ULW_ALPHA);
}

void Window::ShowShadow() {
    const int s = Scaled(spec_.shadowSize, scale_);
    if (s <= 0 || !IsWindowVisible(hwnd_)) return;
    if (!shadow_) {
        RECT r;
        GetWindowRect(hwnd_, &r);
        shadow_ = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
                                  kShadowClass, L"", WS_POPUP, r.left - s, r.top - s, r.right - r.left + 2 * s,
                                  r.bottom - r.top + 2 * s, hwnd_, nullptr, Module(), nullptr);
        if (!shadow_) return;
        UpdateShadow();  // drawn before it is first shown: nothing stale shows through
    }
    ShowWindow(shadow_, SW_SHOWNOACTIVATE);
}

// The pictures of the frame about to be drawn, scaled on the side thread
// while the window is being shown; drawing waits for it.
void Window::ScalePicturesBeside() {
    auto work = PicturesToDraw(*root_, Lib().resources, scale_, backSize_);
    if (!work.empty())
        RunBeside([work = std::move(work)] {
            for (const auto& w : work) w.picture->Scaled(w.size, w.part);
        });
}

bool Window::Show(bool show) {
    if (!show) {
        if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
        if (shadow_) ShowWindow(shadow_, SW_HIDE);
        return hwnd_ || !created_;
    }
    const bool first = !created_;
    if (first) {
        const Size content = ContentSize();
        MakeBackBuffer(WindowDc(nullptr).get(), {Scaled(content.w, scale_), Scaled(content.h, scale_)});
        // The first layout and frame (with its scaled pictures) are made on
        // the side thread while this one makes and maps the window, the two
        // longest steps before anything is on screen; the first paint then
        // only copies the frame.
        const bool layOut = layoutDirty_;
        layoutDirty_ = false;
        ++changes_;
        frameAhead_ = true;
        frameAheadOf_ = changes_;
        RunBeside([this, layOut, ctx = Context()] {
            if (layOut) LayOut();
            Render(ctx);
        });
    } else {
        EnsureLayout();
        ScalePicturesBeside();
    }
    if (Create()) {
        ShowWindow(hwnd_, SW_SHOW);
        SetForegroundWindow(hwnd_);
        UpdateWindow(hwnd_);
        // The shadow follows once the content is on screen: making it first
        // would only delay the window the user waits for.
        PostMessageW(hwnd_, kShowShadow, 0, 0);
    }
    // Nothing changes the tree while it is laid out or drawn beside: that is
    // done when this returns, painted or not.
    FinishSideWork();
    frameAhead_ = false;
    if (first) AfterLayout();
    return hwnd_ != nullptr;
}

void Window::Destroy() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void Window::EnsureLayout() {
    if (frameAhead_) FinishSideWork();  // the first layout may be being made beside
    if (layoutDirty_) Relayout();
    else if (!boxesDirty_.empty()) LayOutBoxes();
}

void Window::LayOutBoxes() {
    SetMeasureScale(scale_);
    for (Element* box : std::exchange(boxesDirty_, {})) {
        const auto before = Places(*box);
        LayoutChildren(*box, MeasureElement);
        InvalidateMoved(*box, before);
    }
    ++changes_;
    AfterLayout();
}

void Window::Relayout() {
    LayOut();
    layoutDirty_ = false;
    ++changes_;
    if (!placesBefore_.empty()) InvalidateMoved(*root_, placesBefore_);
    placesBefore_.clear();
    boxesDirty_.clear();
    AfterLayout();
}

std::vector<std::pair<Rect, bool>> Window::Places(Element& top) {
    std::vector<std::pair<Rect, bool>> places;
    ForEach(top, [&](const Element& e) { places.emplace_back(e.rect, Visible(e)); });
    return places;
}

// The old and new places of every element that moved, appeared or went.
void Window::InvalidateMoved(Element& top, const std::vector<std::pair<Rect, bool>>& before) {
    std::size_t i = 0;
    ForEach(top, [&](const Element& e) {
        if (i >= before.size()) return;
        const auto& [rect, shown] = before[i++];
        const bool now = Visible(e);
        if (rect == e.rect && shown == now) return;
        if (shown) Invalidate(rect);
        if (now) Invalidate(e.rect);
    });
}

// Only the places of elements and popups: nothing else is touched, so this
// may run on the side thread.
void Window::LayOut() {
    SetMeasureScale(scale_);
    LayoutWindow(*root_, ContentSize(), MeasureElement);
    LayoutPopups(popups_, ContentSize());
}

// What follows a new layout on this thread: the native controls, and the
// states of elements that are no longer shown.
void Window::AfterLayout() {
    PlaceNativeControls();
    if (hover_ && !Visible(*hover_)) hover_ = nullptr;
    if (pressed_ && !Visible(*pressed_)) pressed_ = nullptr;
    if (focus_ && !Visible(*focus_)) {
        focus_ = nullptr;
        if (hwnd_ && GetFocus() != hwnd_ && IsChild(hwnd_, GetFocus())) SetFocus(hwnd_);
    }
}

void Window::PlaceNativeControls() {
    if (!hwnd_) return;
    ForEach(*root_, [&](Element& e) {
        if (e.kind != Kind::Edit) return;
        // Made when first needed: most windows open on a page without one.
        if (!e.native && Visible(e)) CreateEditControl(hwnd_, e, scale_);
        PlaceEditControl(e, scale_);
    });
}

void Window::Invalidate(const Rect& r) {
    ++changes_;
    if (!hwnd_) return;
    RECT rc{Scaled(r.x, scale_) - 1, Scaled(r.y, scale_) - 1, Scaled(r.Right(), scale_) + 1,
            Scaled(r.Bottom(), scale_) + 1};
    InvalidateRect(hwnd_, &rc, FALSE);
}

void Window::InvalidateAll() {
    ++changes_;
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void Window::Changed(const Element& e, bool affectsLayout) {
    ++changes_;
    if (!hwnd_ || !Lib().autoRedraw) {
        if (affectsLayout) layoutDirty_ = true;  // laid out when next shown or asked for
        return;
    }
    if (affectsLayout) {
        // Laid out once at the next paint, however many texts change before
        // it; then only what moved is repainted.
        if (!layoutDirty_) placesBefore_ = Places(*root_);
        else if (placesBefore_.empty()) InvalidateAll();  // places from before are unknown
        layoutDirty_ = true;
        Invalidate(e.rect);
    } else {
        Invalidate(e.rect);
    }
}

void Window::ContentChanged(Element& e) {
    Element* box = e.parent;
    if (!box || SizedByContent(*box) || !Visible(*box) || layoutDirty_ || !hwnd_ || !Lib().autoRedraw) {
        Changed(e, true);
        return;
    }
    ++changes_;
    if (std::find(boxesDirty_.begin(), boxesDirty_.end(), box) == boxesDirty_.end()) boxesDirty_.push_back(box);
    Invalidate(e.rect);  // posts the paint that lays the box out first
}

void Window::Redraw(const Element* e, bool now) {
    if (!hwnd_) return;
    if (e) Invalidate(e->rect);
    else InvalidateAll();
    if (now) UpdateWindow(hwnd_);
}

xc::Handle Window::AddPopup(Popup popup) {
    if (!Create()) return 0;  // its timer needs the window
    popup.handle = NewHandle();
    const xc::Handle h = popup.handle;
    if (popup.autoClose) SetTimer(hwnd_, static_cast<UINT_PTR>(h), kPopupLifetimeMs, nullptr);
    popups_.push_back(std::move(popup));
    LayoutPopups(popups_, ContentSize());
    InvalidateAll();
    Notify(EVENT_OBJECT_SHOW, h);
    Notify(EVENT_SYSTEM_ALERT, h);
    return h;
}

void Window::RemovePopup(xc::Handle h) {
    KillTimer(hwnd_, static_cast<UINT_PTR>(h));
    Notify(EVENT_OBJECT_HIDE, h);
    std::erase_if(popups_, [h](const Popup& p) { return p.handle == h; });
    if (popupHot_ == h) popupHot_ = 0;
    LayoutPopups(popups_, ContentSize());
    InvalidateAll();
}

POINT Window::Design(LPARAM lp) const {
    return {static_cast<LONG>(std::floor(GET_X_LPARAM(lp) / scale_)),
            static_cast<LONG>(std::floor(GET_Y_LPARAM(lp) / scale_))};
}

Element* Window::HitTest(int x, int y) {
    EnsureLayout();
    for (Element* e = Deepest(*root_, x, y); e; e = e->parent)
        if (e->Interactive()) return e->enabled ? e : nullptr;
    return nullptr;
}

Popup* Window::PopupAt(int x, int y) {
    for (auto it = popups_.rbegin(); it != popups_.rend(); ++it)
        if (it->rect.Contains(x, y)) return &*it;
    return nullptr;
}

void Window::SetHover(Element* e) {
    if (e == hover_) return;
    if (hover_) Invalidate(hover_->rect);
    hover_ = e;
    if (hover_) Invalidate(hover_->rect);
}

void Window::FocusElement(Element* e, bool cues) {
    if (focus_) Invalidate(focus_->rect);
    focus_ = e;
    focusCues_ = cues;
    if (!e) return;
    Invalidate(e->rect);
    if (e->kind != Kind::Edit || !e->native) Notify(EVENT_OBJECT_FOCUS, e->handle);
    if (e->kind == Kind::Edit && e->native) {
        SetFocus(e->native);
        if (cues) SendMessageW(e->native, EM_SETSEL, 0, -1);
    } else if (GetFocus() != hwnd_) {
        SetFocus(hwnd_);
    }
}

void Window::MoveFocus(bool backwards) {
    EnsureLayout();
    std::vector<Element*> order;
    ForEach(*root_, [&](Element& e) {
        if (e.Interactive() && e.enabled && !e.IsClose() && Visible(e) && e.rect.w > 0 && e.rect.h > 0)
            order.push_back(&e);
    });
    if (order.empty()) return;
    auto it = std::find(order.begin(), order.end(), focus_);
    std::size_t next = 0;
    if (it == order.end()) next = backwards ? order.size() - 1 : 0;
    else {
        const std::size_t at = static_cast<std::size_t>(it - order.begin());
        next = backwards ? (at + order.size() - 1) % order.size() : (at + 1) % order.size();
    }
    FocusElement(order[next], true);
}

// A click (or Enter/Space) on an element: the button's own behaviour, then
// the registered click handlers, then the close button's closing.
void Window::Activate(Element& e) {
    if (!e.enabled || !Visible(e)) return;
    const xc::Handle h = e.handle;
    if (e.kind == Kind::Button) {
        if (e.buttonType == ButtonType::Check) {
            e.checked = !e.checked;
            Notify(EVENT_OBJECT_STATECHANGE, h);
        }
        else if (e.buttonType == ButtonType::Radio && !e.checked) {
            if (e.parent)
                for (auto& sibling : e.parent->children)
                    if (sibling->kind == Kind::Button && sibling->buttonType == ButtonType::Radio &&
                        sibling->checked) {
                        sibling->checked = false;
                        Invalidate(sibling->rect);
                    }
            e.checked = true;
        }
        Invalidate(e.rect);
    }
    const auto handlers = e.clickHandlers;  // a handler may register more
    const bool close = e.IsClose();
    BOOL handled = FALSE;
    struct Running {
        Running() { ++Lib().clicksRunning; }
        ~Running() { --Lib().clicksRunning; }
    } running;
    for (auto handler : handlers) {
        handler(h, &handled);
        if (handled || ElementOf(h) != &e) break;  // stop when handled or the window went away
    }
    if (close && !handled && ElementOf(h) == &e) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

bool Window::PreTranslate(const MSG& msg) {
    if (!hwnd_ || (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP)) return false;
    if (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)) return false;
    const bool repeat = (msg.lParam & (1 << 30)) != 0;  // held down: the keyboard's auto-repeat
    if (msg.message == WM_KEYUP) {
        // Enter and Space act once per press, when the key comes up on the
        // element it went down on.
        if (msg.wParam != VK_RETURN && msg.wParam != VK_SPACE) return false;
        if (msg.wParam != armedKey_) return msg.hwnd == hwnd_;
        Element* target = ElementOf(armed_);
        armedKey_ = 0;
        armed_ = 0;
        if (target && target == focus_) Activate(*target);
        return true;
    }
    if (msg.wParam == 'A' && msg.hwnd != hwnd_ && GetKeyState(VK_CONTROL) < 0) {
        SendMessageW(msg.hwnd, EM_SETSEL, 0, -1);  // the EDIT control has no select-all key
        return true;
    }
    switch (msg.wParam) {
    case VK_TAB: MoveFocus(GetKeyState(VK_SHIFT) < 0); return true;
    case VK_RETURN:
    case VK_SPACE:
        if (msg.hwnd != hwnd_) return msg.wParam == VK_RETURN;  // Space types in the edit box
        if (!repeat && focus_ && focus_->kind != Kind::Edit) {
            armedKey_ = static_cast<UINT>(msg.wParam);
            armed_ = focus_->handle;
        }
        return true;
    case VK_ESCAPE: {
        // Closes as in a dialog, but never while a click handler runs (an
        // installation in progress): a stray key must not end it.
        if (repeat || Lib().clicksRunning > 0) return true;
        Element* close = nullptr;
        ForEach(*root_, [&](Element& e) {
            if (!close && e.IsClose() && Visible(e)) close = &e;
        });
        if (close) Activate(*close);
        return true;
    }
    default: return false;
    }
}

RECT Window::ScreenRect(const Rect& r) const {
    RECT out{Scaled(r.x, scale_), Scaled(r.y, scale_), Scaled(r.Right(), scale_), Scaled(r.Bottom(), scale_)};
    if (hwnd_) MapWindowPoints(hwnd_, nullptr, reinterpret_cast<POINT*>(&out), 2);
    return out;
}

void Window::TakeFocus(xc::Handle element) {
    Element* e = ElementOf(element);
    if (e && WindowHolding(*e) == this && e->Interactive() && e->enabled && Visible(*e)) FocusElement(e, true);
}

void Window::PostDefaultAction(xc::Handle element) {
    if (hwnd_) PostMessageW(hwnd_, kDefaultAction, static_cast<WPARAM>(element), 0);
}

void Window::Notify(DWORD event, xc::Handle element) const { NotifyAccessible(hwnd_, event, element); }

// True when the buffer was made anew, and so holds no frame.
bool Window::MakeBackBuffer(HDC compatible, Size size) {
    size = {std::max(1, size.w), std::max(1, size.h)};
    if (back_ && size == backSize_) return false;
    // A device bitmap, not a DIB section: GDI+ under Wine draws into it much
    // faster.
    back_ = BitmapDc(compatible, CreateCompatibleBitmap(compatible, size.w, size.h));
    backSize_ = size;
    return true;
}

// Taken on this thread: a frame drawn beside sees the states as they were.
PaintContext Window::Context() const { return PaintContext{Lib().resources, hover_, pressed_, focus_, focusCues_}; }

// The whole layout and its popups into the back buffer.
void Window::Render(const PaintContext& ctx, const RECT* clip) {
    FinishSideWork();  // the pictures may still be being scaled
    if (!back_) return;  // no buffer could be made: nothing to draw into
    const RECT area = clip ? *clip : RECT{0, 0, backSize_.w, backSize_.h};
    FillRect(back_.get(), &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));  // far quicker than GDI+'s Clear
    Gdiplus::Graphics g(back_.get());
    if (clip) g.SetClip(Gdiplus::Rect(area.left, area.top, area.right - area.left, area.bottom - area.top));
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    g.ScaleTransform(static_cast<float>(scale_), static_cast<float>(scale_));
    const auto design = [&](LONG v) { return static_cast<int>(std::floor(v / scale_)); };
    const Rect within{design(area.left), design(area.top), design(area.right) - design(area.left) + 1,
                      design(area.bottom) - design(area.top) + 1};
    PaintTree(g, *root_, ctx, clip ? &within : nullptr);
    for (const Popup& p : popups_) PaintPopup(g, p, p.handle == popupHot_);
}

void Window::Paint() {
    // Laid out before the paint begins: what moved joins the area painted.
    EnsureLayout();
    // Ended however the drawing ends: a paint left open comes back forever.
    struct Painting {
        HWND hwnd;
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(hwnd, &ps);
        ~Painting() { EndPaint(hwnd, &ps); }
    } painting{hwnd_};
    const RECT& r = painting.ps.rcPaint;
    RECT client;
    GetClientRect(hwnd_, &client);
    const bool fresh = MakeBackBuffer(painting.dc, {static_cast<int>(client.right), static_cast<int>(client.bottom)});
    // The frame drawn ahead stands unless something changed since; the back
    // buffer holds the last frame, so a later paint redraws only its area.
    if (fresh) Render(Context());
    else if (!frameAhead_ || frameAheadOf_ != changes_) Render(Context(), &r);
    frameAhead_ = false;
    BitBlt(painting.dc, r.left, r.top, r.right - r.left, r.bottom - r.top, back_.get(), r.left, r.top, SRCCOPY);
}

void Window::OnDestroyed() {
    for (const Popup& p : popups_) KillTimer(hwnd_, static_cast<UINT_PTR>(p.handle));
    popups_.clear();
    if (shadow_) DestroyWindow(shadow_);
    shadow_ = nullptr;
    hwnd_ = nullptr;
    ForEach(*root_, [](Element& e) {
        Lib().elements.erase(e.handle);
        e.native = nullptr;
    });
    hover_ = pressed_ = focus_ = nullptr;
    boxesDirty_.clear();
    Lib().windows.erase(handle);
    if (Lib().windows.empty()) PostQuitMessage(0);
}

LRESULT CALLBACK Window::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || self->hwnd_ != hwnd) return DefWindowProcW(hwnd, msg, wp, lp);
    // Nothing may leave a window procedure: a message whose handling fails
    // (memory running out) gets the default handling instead.
    InLibrary frame;
    try {
        return self->Handle(msg, wp, lp);
    } catch (...) {
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

LRESULT Window::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: Paint(); return 0;
    case WM_NCHITTEST: {
        // Empty parts of the window drag it, as a caption would.
        POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ScreenToClient(hwnd_, &pt);
        const int x = static_cast<int>(pt.x / scale_), y = static_cast<int>(pt.y / scale_);
        if (!PopupAt(x, y) && !HitTest(x, y) && !GetCapture()) return HTCAPTION;
        return HTCLIENT;
    }
    case WM_MOUSEMOVE: {
        const POINT p = Design(lp);
        if (!tracking_) {
            TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd_, 0};
            tracking_ = TrackMouseEvent(&tme) != FALSE;
        }
        Popup* popup = PopupAt(p.x, p.y);
        const xc::Handle hot = popup && popup->closeButton && popup->CloseRect().Contains(p.x, p.y) ? popup->handle : 0;
        if (hot != popupHot_) {
            popupHot_ = hot;
            InvalidateAll();
        }
        SetHover(popup ? nullptr : HitTest(p.x, p.y));
        return 0;
    }
    case WM_MOUSELEAVE:
        tracking_ = false;
        SetHover(nullptr);
        if (popupHot_) {
            popupHot_ = 0;
            InvalidateAll();
        }
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT && hover_ && hover_->handCursor) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const POINT p = Design(lp);
        if (Popup* popup = PopupAt(p.x, p.y)) {
            popupPressed_ = popup->closeButton && popup->CloseRect().Contains(p.x, p.y) ? popup->handle : 0;
            SetCapture(hwnd_);
            return 0;
        }
        pressed_ = HitTest(p.x, p.y);
        if (pressed_) {
            SetCapture(hwnd_);
            FocusElement(pressed_, false);
            Invalidate(pressed_->rect);
        } else {
            FocusElement(nullptr, false);
            SetFocus(hwnd_);
        }
        return 0;
    }
    case WM_LBUTTONUP: {
        const POINT p = Design(lp);
        Element* target = pressed_;
        pressed_ = nullptr;  // before the release, which reports a capture change
        if (GetCapture() == hwnd_) ReleaseCapture();
        if (popupPressed_) {
            const xc::Handle h = popupPressed_;
            popupPressed_ = 0;
            for (const Popup& popup : popups_)
                if (popup.handle == h && popup.CloseRect().Contains(p.x, p.y)) {
                    RemovePopup(h);
                    break;
                }
            return 0;
        }
        if (target) {
            Invalidate(target->rect);
            if (!PopupAt(p.x, p.y) && HitTest(p.x, p.y) == target) Activate(*target);
        }
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (pressed_) Invalidate(pressed_->rect);
        pressed_ = nullptr;
        return 0;
    case WM_KEYDOWN:
    case WM_KEYUP: {
        MSG m{};
        m.hwnd = hwnd_;
        m.message = msg;
        m.wParam = wp;
        m.lParam = lp;
        if (PreTranslate(m)) return 0;
        break;
    }
    case kShowShadow: ShowShadow(); return 0;
    case kDefaultAction:
        if (Element* e = ElementOf(static_cast<xc::Handle>(wp)); e && WindowHolding(*e) == this) Activate(*e);
        return 0;
    case WM_GETOBJECT:
        if (const LRESULT answer = AnswerGetObject(handle, hwnd_, wp, lp)) return answer;
        break;
    case WM_TIMER: RemovePopup(static_cast<xc::Handle>(wp)); return 0;
    case WM_COMMAND:
        if (HIWORD(wp) == EN_SETFOCUS || HIWORD(wp) == EN_KILLFOCUS) {
            ForEach(*root_, [&](Element& e) {
                if (e.native != reinterpret_cast<HWND>(lp)) return;
                if (HIWORD(wp) == EN_SETFOCUS) {
                    if (focus_ && focus_ != &e) Invalidate(focus_->rect);
                    focus_ = &e;
                    Notify(EVENT_OBJECT_FOCUS, e.handle);
                } else if (HIWORD(wp) == EN_KILLFOCUS && focus_ == &e) {
                    focus_ = nullptr;
                }
                Invalidate(e.rect);
            });
        }
        return 0;
    case WM_CTLCOLOREDIT: {
        SetTextColor(reinterpret_cast<HDC>(wp), RGB(0x33, 0x33, 0x33));
        SetBkColor(reinterpret_cast<HDC>(wp), RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    }
    case WM_WINDOWPOSCHANGED:
        if (shadow_) {
            const auto* pos = reinterpret_cast<const WINDOWPOS*>(lp);
            if (!(pos->flags & SWP_NOMOVE)) {
                const int s = Scaled(spec_.shadowSize, scale_);
                SetWindowPos(shadow_, nullptr, pos->x - s, pos->y - s, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
        break;
    case WM_CLOSE: DestroyWindow(hwnd_); return 0;
    case WM_NCDESTROY: {
        LRESULT r = DefWindowProcW(hwnd_, msg, wp, lp);
        OnDestroyed();
        return r;
    }
    default: break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace xcgui
