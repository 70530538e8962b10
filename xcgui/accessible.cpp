#include "accessible.h"

#include <oleacc.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "kinds.h"
#include "library.h"
#include "window.h"

namespace xcgui {

namespace {

// The system's COM and accessibility libraries, loaded from System32 when a
// screen reader first asks: most runs never need them, and linking them
// would load them (and COM) before the first paint.
struct System {
    using LresultFromObject_t = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
    using AccessibleObjectFromWindow_t = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
    using SysAllocString_t = BSTR(WINAPI*)(const OLECHAR*);
    using CoInitializeEx_t = HRESULT(WINAPI*)(void*, DWORD);
    LresultFromObject_t lresultFromObject = nullptr;
    AccessibleObjectFromWindow_t objectFromWindow = nullptr;
    SysAllocString_t sysAllocString = nullptr;
    bool ready = false;
};

template <typename F>
F Bind(const wchar_t* library, const char* name) {
    HMODULE m = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

const System& TheSystem() {
    static const System system = [] {
        System s;
        // Marshalling the answer needs COM on this thread; the installer
        // has it already, another caller gets an apartment here.
        if (auto init = Bind<System::CoInitializeEx_t>(L"ole32.dll", "CoInitializeEx"))
            init(nullptr, COINIT_APARTMENTTHREADED);
        s.lresultFromObject = Bind<System::LresultFromObject_t>(L"oleacc.dll", "LresultFromObject");
        s.objectFromWindow = Bind<System::AccessibleObjectFromWindow_t>(L"oleacc.dll", "AccessibleObjectFromWindow");
        s.sysAllocString = Bind<System::SysAllocString_t>(L"oleaut32.dll", "SysAllocString");
        s.ready = s.lresultFromObject && s.objectFromWindow && s.sysAllocString;
        return s;
    }();
    return system;
}

constexpr GUID kIUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIEnumVariant{0x00020404, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIAccessible{0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// One child as a screen reader sees it.
struct Item {
    LONG id = 0;
    LONG role = 0;
    std::wstring name, value, description, action;
    LONG state = 0;
    Rect rect;
    const Element* element = nullptr;
};


// The shown elements in the order of the layout, then the popups.
std::vector<Item> Items(Window& w) {
    w.EnsureLayout();
    std::vector<Item> items;
    std::wstring label;  // the last text before an edit box names it
    const Element* focus = w.Focused();
    const bool active = GetFocus() == w.Hwnd() || IsChild(w.Hwnd(), GetFocus());
    ForEach(w.Root(), [&](Element& e) {
        if (!Visible(e) || e.rect.w <= 0 || e.rect.h <= 0) return;
        Item item;
        item.id = e.handle;
        item.name = e.text;
        item.rect = e.rect;
        item.element = &e;
        switch (e.kind) {
        case Kind::Button:
            if (e.buttonType == ButtonType::Check) {
                item.role = ROLE_SYSTEM_CHECKBUTTON;
                item.action = e.checked ? L"取消选中" : L"选中";
                if (e.checked) item.state |= STATE_SYSTEM_CHECKED;
            } else {
                item.role = ROLE_SYSTEM_PUSHBUTTON;
                item.action = L"按下";
                if (e.IsClose() && item.name.empty()) item.name = L"关闭";
            }
            break;
        case Kind::TextLink:
            item.role = ROLE_SYSTEM_LINK;
            item.action = L"跳转";
            item.state |= STATE_SYSTEM_LINKED;
            break;
        case Kind::ShapeText:
            item.role = ROLE_SYSTEM_STATICTEXT;
            item.state |= STATE_SYSTEM_READONLY;
            label = e.text;
            break;
        case Kind::Edit:
            item.role = ROLE_SYSTEM_TEXT;
            item.name = label;
            item.value = EditControlText(e);
            break;
        case Kind::ProgressBar:
            item.role = ROLE_SYSTEM_PROGRESSBAR;
            item.name.clear();
            item.value = std::to_wstring(e.position) + L"%";
            item.state |= STATE_SYSTEM_READONLY;
            break;
        default: return;
        }
        if (e.Interactive()) {
            if (!e.enabled) item.state |= STATE_SYSTEM_UNAVAILABLE;
            else item.state |= STATE_SYSTEM_FOCUSABLE;
            if (active && focus == &e) item.state |= STATE_SYSTEM_FOCUSED;
        }
        items.push_back(std::move(item));
    });
    for (const Popup& p : w.Popups()) {
        Item item;
        item.id = p.handle;
        item.role = ROLE_SYSTEM_ALERT;
        item.name = p.text;
        item.description = p.title;
        item.state = STATE_SYSTEM_READONLY;
        item.rect = p.rect;
        items.push_back(std::move(item));
    }
    return items;
}

void SetEmpty(VARIANT* v) {
    v->vt = VT_EMPTY;
}

void SetI4(VARIANT* v, LONG value) {
    v->vt = VT_I4;
    v->lVal = value;
}

HRESULT Text(const std::wstring& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    *out = TheSystem().sysAllocString(text.c_str());
    return *out ? S_OK : E_OUTOFMEMORY;
}

// The children's ids, enumerated (as AccessibleChildren asks for them).
class Children final : public IEnumVARIANT {
public:
    explicit Children(std::vector<LONG> ids, ULONG at = 0) : ids_(std::move(ids)), at_(at) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualGUID(riid, kIUnknown) && !IsEqualGUID(riid, kIEnumVariant)) return E_NOINTERFACE;
        *out = static_cast<IEnumVARIANT*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
        if (!out) return E_POINTER;
        ULONG n = 0;
        for (; n < count && at_ < ids_.size(); ++n) SetI4(&out[n], ids_[at_++]);
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        at_ = std::min<std::size_t>(ids_.size(), at_ + count);
        return at_ < ids_.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        at_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
        if (!out) return E_POINTER;
        *out = new (std::nothrow) Children(ids_, static_cast<ULONG>(at_));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::atomic<ULONG> refs_{1};
    std::vector<LONG> ids_;
    std::size_t at_;
};

// The client area. It holds the window's handle, not the window: a screen
// reader may keep it after the window is gone.
class Client final : public IAccessible, public IEnumVARIANT {
public:
    explicit Client(xc::Handle window) : window_(window) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualGUID(riid, kIUnknown) || IsEqualGUID(riid, kIDispatch) || IsEqualGUID(riid, kIAccessible))
            *out = static_cast<IAccessible*>(this);
        else if (IsEqualGUID(riid, kIEnumVariant))
            *out = static_cast<IEnumVARIANT*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // IDispatch: not used by MSAA clients.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        Window* w = WindowOf(window_);
        if (!w) return RPC_E_DISCONNECTED;
        return TheSystem().objectFromWindow(w->Hwnd(), static_cast<DWORD>(OBJID_WINDOW), kIDispatch,
                                            reinterpret_cast<void**>(out));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* out) override {
        return Guarded([&](Window& w) {
            *out = static_cast<LONG>(Items(w).size());
            return S_OK;
        }, out);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return WithItem(child, [](const Item*) { return S_FALSE; });  // simple elements, no objects of their own
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return WithItem(child, [&](const Item* item) {
            if (item) return Text(item->name, out);
            Window* w = WindowOf(window_);
            return Text(w ? w->Definition().caption : std::wstring(), out);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return WithItem(child, [&](const Item* item) { return item ? Text(item->value, out) : S_FALSE; });
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return WithItem(child, [&](const Item* item) { return item ? Text(item->description, out) : S_FALSE; });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
        if (!out) return E_POINTER;
        SetEmpty(out);
        return WithItem(child, [&](const Item* item) {
            SetI4(out, item ? item->role : ROLE_SYSTEM_CLIENT);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
        if (!out) return E_POINTER;
        SetEmpty(out);
        return WithItem(child, [&](const Item* item) {
            LONG state = STATE_SYSTEM_FOCUSABLE;
            if (!item && WindowOf(window_) && GetFocus() == WindowOf(window_)->Hwnd()) state |= STATE_SYSTEM_FOCUSED;
            SetI4(out, item ? item->state : state);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        if (file) *file = nullptr;
        if (topic) *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
        if (!out) return E_POINTER;
        SetEmpty(out);
        Window* w = WindowOf(window_);
        if (!w) return RPC_E_DISCONNECTED;
        if (GetFocus() != w->Hwnd() && !IsChild(w->Hwnd(), GetFocus())) return S_FALSE;
        if (const Element* f = w->Focused()) SetI4(out, f->handle);
        else SetI4(out, CHILDID_SELF);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
        if (out) SetEmpty(out);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return WithItem(child, [&](const Item* item) { return item ? Text(item->action, out) : S_FALSE; });
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return WithItem(child, [&](const Item* item) {
            if (!(flags & SELFLAG_TAKEFOCUS)) return S_FALSE;
            Window* w = WindowOf(window_);
            if (!item || !item->element || !item->element->Interactive()) return S_FALSE;
            w->TakeFocus(item->element->handle);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* x, LONG* y, LONG* cx, LONG* cy, VARIANT child) override {
        if (!x || !y || !cx || !cy) return E_POINTER;
        *x = *y = *cx = *cy = 0;
        return WithItem(child, [&](const Item* item) {
            Window* w = WindowOf(window_);
            RECT r{};
            if (item) r = w->ScreenRect(item->rect);
            else {
                GetClientRect(w->Hwnd(), &r);
                MapWindowPoints(w->Hwnd(), nullptr, reinterpret_cast<POINT*>(&r), 2);
            }
            *x = r.left, *y = r.top, *cx = r.right - r.left, *cy = r.bottom - r.top;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* out) override {
        if (!out) return E_POINTER;
        SetEmpty(out);
        return Guarded([&](Window& w) -> HRESULT {
            if (start.vt != VT_I4) return E_INVALIDARG;
            const auto items = Items(w);
            if (items.empty()) return S_FALSE;
            if (start.lVal == CHILDID_SELF) {
                if (direction == NAVDIR_FIRSTCHILD) SetI4(out, items.front().id);
                else if (direction == NAVDIR_LASTCHILD) SetI4(out, items.back().id);
                else return S_FALSE;
                return S_OK;
            }
            for (std::size_t k = 0; k < items.size(); ++k) {
                if (items[k].id != start.lVal) continue;
                if ((direction == NAVDIR_NEXT || direction == NAVDIR_DOWN || direction == NAVDIR_RIGHT) &&
                    k + 1 < items.size())
                    SetI4(out, items[k + 1].id);
                else if ((direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP || direction == NAVDIR_LEFT) && k > 0)
                    SetI4(out, items[k - 1].id);
                else
                    return S_FALSE;
                return S_OK;
            }
            return E_INVALIDARG;
        }, out);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override {
        if (!out) return E_POINTER;
        SetEmpty(out);
        return Guarded([&](Window& w) -> HRESULT {
            POINT p{x, y};
            RECT client;
            GetClientRect(w.Hwnd(), &client);
            ScreenToClient(w.Hwnd(), &p);
            if (!PtInRect(&client, p)) return S_FALSE;
            LONG hit = CHILDID_SELF;
            for (const Item& item : Items(w)) {
                const RECT r = w.ScreenRect(item.rect);
                POINT s{x, y};
                if (PtInRect(&r, s)) hit = item.id;  // the last one drawn is on top
            }
            SetI4(out, hit);
            return S_OK;
        }, out);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return WithItem(child, [&](const Item* item) {
            if (!item || !item->element || !item->element->Interactive()) return DISP_E_MEMBERNOTFOUND;
            if (!item->element->enabled) return E_FAIL;
            // Posted: the click may start an installation, and the caller
            // must not wait for it to end.
            WindowOf(window_)->PostDefaultAction(item->element->handle);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

    // IEnumVARIANT: the children, for AccessibleChildren.
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
        return Enumerator([&](Children& c) { return c.Next(count, out, fetched); });
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        return Enumerator([&](Children& c) { return c.Skip(count); });
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        cursor_.reset();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
        return Enumerator([&](Children& c) { return c.Clone(out); });
    }

private:
    // Nothing may leave a COM method; a window that is gone answers as a
    // disconnected object.
    template <typename F, typename P>
    HRESULT Guarded(F&& body, P* out) {
        if (!out) return E_POINTER;
        Window* w = WindowOf(window_);
        if (!w) return RPC_E_DISCONNECTED;
        try {
            return body(*w);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    template <typename F>
    HRESULT WithItem(const VARIANT& child, F&& body) {
        Window* w = WindowOf(window_);
        if (!w) return RPC_E_DISCONNECTED;
        if (child.vt != VT_I4) return E_INVALIDARG;
        try {
            if (child.lVal == CHILDID_SELF) return body(static_cast<const Item*>(nullptr));
            const auto items = Items(*w);
            for (const Item& item : items)
                if (item.id == child.lVal) return body(&item);
            return E_INVALIDARG;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    template <typename F>
    HRESULT Enumerator(F&& use) {
        Window* w = WindowOf(window_);
        if (!w) return RPC_E_DISCONNECTED;
        try {
            if (!cursor_) {
                std::vector<LONG> ids;
                for (const Item& item : Items(*w)) ids.push_back(item.id);
                cursor_.reset(new Children(std::move(ids)));
            }
            return use(*cursor_);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    std::atomic<ULONG> refs_{1};
    xc::Handle window_;
    struct Dropper {
        void operator()(Children* c) const { c->Release(); }
    };
    std::unique_ptr<Children, Dropper> cursor_;
};

}  // namespace

LRESULT AnswerGetObject(xc::Handle window, HWND, WPARAM wp, LPARAM lp) {
    if (static_cast<LONG>(lp) != OBJID_CLIENT) return 0;
    const System& system = TheSystem();
    if (!system.ready) return 0;
    auto* client = new (std::nothrow) Client(window);
    if (!client) return 0;
    const LRESULT answer = system.lresultFromObject(kIAccessible, wp, static_cast<IAccessible*>(client));
    client->Release();  // the answer holds its own reference
    return answer;
}

void NotifyAccessible(HWND hwnd, DWORD event, xc::Handle child) {
    if (hwnd) NotifyWinEvent(event, hwnd, OBJID_CLIENT, child);
}

}  // namespace xcgui
