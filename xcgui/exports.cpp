// The exported functions. Every export tolerates handle 0, stale handles and
// null texts: it does nothing and returns 0.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <type_traits>

#include "kinds.h"
#include "layout_parser.h"
#include "painter.h"
#include "picture.h"
#include "library.h"
#include "side_work.h"
#include "window.h"
#include "zip_memory.h"

using namespace xcgui;

namespace {

std::string_view AsText(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::wstring Text(const wchar_t* s) { return s ? std::wstring(s) : std::wstring(); }

void SetText(Element& e, const std::wstring& text) {
    if (e.text == text) return;
    e.text = text;
    if (Window* w = WindowHolding(e)) {
        if (SizedByContent(e)) w->ContentChanged(e);
        else w->Changed(e, false);
        w->Notify(EVENT_OBJECT_NAMECHANGE, e.handle);
    }
}

// Nothing may leave an export into the caller: when something fails inside
// (memory running out), the export gives its "nothing done" result.
template <typename R, typename F>
R Guard(R failed, F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failed;
    }
}

template <typename F>
void Guard(F&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

}  // namespace

extern "C" {

int WINAPI XC_AnsiToUnicode(const char* text, int textLength, wchar_t* out, int outLength) {
    if (!text || outLength < 0 || (outLength > 0 && !out)) return 0;
    return MultiByteToWideChar(CP_ACP, 0, text, textLength, out, outLength);
}

const char* WINAPI XC_wtoa(const wchar_t* text) {
    return Guard<const char*>(nullptr, [&]() -> const char* {
        if (!text) return nullptr;
        auto& out = Lib().tempAnsi;
        const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
        out.assign(n > 0 ? n : 1, '\0');
        if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
        return out.c_str();
    });
}

BOOL WINAPI XInitXCGUI(BOOL) {
    return Guard<BOOL>(FALSE, [&]() -> BOOL {
        if (!EnsureGdiplus()) return FALSE;
        // The font's memory DC also starts the display driver.
        RunBeside([] { PrepareFont(FontSpec{}); });
        return TRUE;
    });
}

void WINAPI XC_EnableAutoDPI(BOOL enable) {
    Lib().autoDpi = enable != FALSE;
    if (enable) SetProcessDPIAware();
}

void WINAPI XC_EnableAutoRedrawUI(BOOL enable) { Lib().autoRedraw = enable != FALSE; }

// The package is read from memory once; there is no file to watch.
void WINAPI XC_EnableResMonitor(BOOL) {}

BOOL WINAPI XC_LoadResourceZipMem(const void* data, int length, const wchar_t* fileName, const wchar_t* password) {
    return Guard<BOOL>(FALSE, [&]() -> BOOL {
        if (!data || length <= 0 || !fileName) return FALSE;
        ZipPackage package(data, static_cast<std::size_t>(length), Text(password));
        const auto bytes = package.Read(fileName);
        if (!bytes) return FALSE;
        auto res = ParseResources(AsText(*bytes));
        if (!res) return FALSE;
        bool complete = EnsureGdiplus();  // GDI+ decodes the uncommon formats
        // Each file is decoded once however many names it has, and all of
        // them together stay within a bound. A picture that cannot be had
        // (missing, damaged, too large, memory running out) is drawn as
        // nothing; the fonts, colours and the other pictures still load.
        std::map<std::wstring, std::shared_ptr<Picture>> decoded;
        std::uint64_t budget = kMaxLoadedPixels;
        for (auto& [name, image] : res->images) {
            auto [it, fresh] = decoded.try_emplace(image.file);
            if (fresh) {
                try {
                    if (const auto file = package.Read(image.file))
                        it->second = DecodePicture(*file, std::min(budget, kMaxPicturePixels));
                } catch (...) {
                    it->second = nullptr;
                }
                if (it->second) budget -= it->second->PixelCount();
            }
            image.picture = it->second;
            if (!image.picture) complete = false;
        }
        Lib().resources = std::move(*res);
        return complete ? TRUE : FALSE;
    });
}

xc::Handle WINAPI XC_LoadLayoutZipMem(const void* data, int length, const wchar_t* fileName, const wchar_t* password,
                                      xc::Handle, HWND) {
    return Guard<xc::Handle>(0, [&]() -> xc::Handle {
        if (!data || length <= 0 || !fileName || !EnsureGdiplus()) return 0;
        const auto bytes = ReadZipEntry(data, static_cast<std::size_t>(length), fileName, Text(password));
        if (!bytes) return 0;
        auto layout = ParseLayout(AsText(*bytes), Lib().resources);
        if (!layout) return 0;

        double scale = 1.0;
        if (Lib().autoDpi) {
            HDC screen = GetDC(nullptr);
            scale = std::clamp(GetDeviceCaps(screen, LOGPIXELSY) / 96.0, 1.0, 4.0);
            ReleaseDC(nullptr, screen);
        }
        // Measured beside while the caller goes on; the first layout then
        // finds its texts measured.
        std::vector<std::pair<std::wstring, FontSpec>> texts;
        ForEach(*layout->root, [&](Element& e) {
            if (SizedByContent(e) && !e.text.empty() && e.kind != Kind::Edit) texts.emplace_back(e.text, e.font);
        });
        RunBeside([texts = std::move(texts), scale] { PrepareTexts(texts, scale); });
        auto window = std::make_unique<Window>(std::move(*layout), scale);
        window->handle = NewHandle();
        ForEach(window->Root(), [](Element& e) {
            e.handle = NewHandle();
            Lib().elements[e.handle] = &e;
        });
        Lib().windows[window->handle] = window.get();
        const xc::Handle h = window->handle;
        Lib().allWindows.push_back(std::move(window));
        return h;
    });
}

void WINAPI XWnd_EnableDragBorder(xc::Handle window, BOOL enable) {
    if (Window* w = WindowOf(window)) w->dragBorder = enable != FALSE;
}

BOOL WINAPI XWnd_Show(xc::Handle window, BOOL show) {
    return Guard<BOOL>(FALSE, [&]() -> BOOL {
        Window* w = WindowOf(window);
        if (!w) return FALSE;
        return w->Show(show != FALSE) ? TRUE : FALSE;
    });
}

void WINAPI XRunXCGUI() {
    Guard([&] {
        if (Lib().windows.empty()) return;
        InLibrary frame;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            bool done = false;
            for (auto& [h, w] : Lib().windows)
                if (w->PreTranslate(msg)) {
                    done = true;
                    break;
                }
            if (done) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    });
}

void WINAPI XExitXCGUI() { Guard([&] { ExitLibrary(); }); }

xc::Handle WINAPI XC_GetObjectByName(const wchar_t* name) {
    return Guard<xc::Handle>(0, [&]() -> xc::Handle {
        if (!name || !*name) return 0;
        for (auto it = Lib().windows.rbegin(); it != Lib().windows.rend(); ++it) {
            xc::Handle found = 0;
            ForEach(it->second->Root(), [&](Element& e) {
                if (!found && e.name == name) found = e.handle;
            });
            if (found) return found;
        }
        return 0;
    });
}

BOOL WINAPI XEle_RegEventC1(xc::Handle element, int eventType, void* callback) {
    return Guard<BOOL>(FALSE, [&]() -> BOOL {
        Element* e = ElementOf(element);
        if (!e || !callback || eventType != xc::kEventButtonClick) return FALSE;
        e->clickHandlers.push_back(reinterpret_cast<xc::ClickCallback>(callback));
        return TRUE;
    });
}

const wchar_t* WINAPI XEdit_GetText_Temp(xc::Handle edit) {
    return Guard<const wchar_t*>(nullptr, [&]() -> const wchar_t* {
        Element* e = ElementOf(edit);
        if (!e || e->kind != Kind::Edit) return nullptr;
        Lib().tempWide = EditControlText(*e);
        return Lib().tempWide.c_str();
    });
}

void WINAPI XEdit_SetText(xc::Handle edit, const wchar_t* text) {
    Guard([&] {
        Element* e = ElementOf(edit);
        if (!e || e->kind != Kind::Edit) return;
        SetEditControlText(*e, Text(text));
    });
}

void WINAPI XShapeText_SetText(xc::Handle shapeText, const wchar_t* text) {
    Guard([&] {
        Element* e = ElementOf(shapeText);
        if (!e || e->kind != Kind::ShapeText) return;
        SetText(*e, Text(text));
    });
}

void WINAPI XEle_Redraw(xc::Handle element, BOOL immediate) {
    Guard([&] {
        Element* e = ElementOf(element);
        if (!e) return;
        if (Window* w = WindowHolding(*e)) w->Redraw(e, immediate != FALSE);
    });
}

void WINAPI XWidget_Show(xc::Handle widget, BOOL show) {
    Guard([&] {
        Element* e = ElementOf(widget);
        if (!e || e->shown == (show != FALSE)) return;
        e->shown = show != FALSE;
        if (Window* w = WindowHolding(*e)) {
            w->Changed(*e, true);
            w->Notify(EVENT_OBJECT_REORDER, 0);  // the children a screen reader sees changed
        }
    });
}

void WINAPI XWnd_AdjustLayout(xc::Handle window) {
    Guard([&] {
        Window* w = WindowOf(window);
        if (!w) return;
        w->Relayout();
        w->Redraw(nullptr, false);
    });
}

void WINAPI XWnd_Redraw(xc::Handle window, BOOL immediate) {
    Guard([&] {
        if (Window* w = WindowOf(window)) w->Redraw(nullptr, immediate != FALSE);
    });
}

HWND WINAPI XWnd_GetHWND(xc::Handle window) {
    Window* w = WindowOf(window);
    return w ? w->Hwnd() : nullptr;
}

BOOL WINAPI XBtn_IsCheck(xc::Handle button) {
    Element* e = ElementOf(button);
    return e && e->kind == Kind::Button && e->checked ? TRUE : FALSE;
}

void WINAPI XProgBar_SetPos(xc::Handle progressBar, int position) {
    Guard([&] {
        Element* e = ElementOf(progressBar);
        if (!e || e->kind != Kind::ProgressBar) return;
        position = std::clamp(position, 0, 100);
        if (e->position == position) return;
        e->position = position;
        if (Window* w = WindowHolding(*e)) {
            w->Changed(*e, false);
            w->Notify(EVENT_OBJECT_VALUECHANGE, e->handle);
        }
    });
}

xc::Handle WINAPI XNotifyMsg_WindowPopupEx(xc::Handle window, int, const wchar_t* title, const wchar_t* text,
                                           xc::Handle, int skin, BOOL closeButton, BOOL autoClose, int width,
                                           int height) {
    return Guard<xc::Handle>(0, [&]() -> xc::Handle {
        Window* w = WindowOf(window);
        if (!w) return 0;
        Popup p;
        p.title = Text(title);
        p.text = Text(text);
        p.skin = skin >= xc::kSkinSuccess && skin <= xc::kSkinError ? skin : xc::kSkinInfo;
        p.closeButton = closeButton != FALSE;
        p.autoClose = autoClose != FALSE;
        p.width = width;
        p.height = height;
        return w->AddPopup(std::move(p));
    });
}

}  // extern "C"

// The exports keep the exact shapes the installer binds.
static_assert(std::is_same_v<decltype(XC_AnsiToUnicode), xc::XC_AnsiToUnicode_t>);
static_assert(std::is_same_v<decltype(XInitXCGUI), xc::XInitXCGUI_t>);
static_assert(std::is_same_v<decltype(XC_EnableAutoDPI), xc::XC_EnableAutoDPI_t>);
static_assert(std::is_same_v<decltype(XC_EnableAutoRedrawUI), xc::XC_EnableAutoRedrawUI_t>);
static_assert(std::is_same_v<decltype(XC_EnableResMonitor), xc::XC_EnableResMonitor_t>);
static_assert(std::is_same_v<decltype(XC_LoadResourceZipMem), xc::XC_LoadResourceZipMem_t>);
static_assert(std::is_same_v<decltype(XC_LoadLayoutZipMem), xc::XC_LoadLayoutZipMem_t>);
static_assert(std::is_same_v<decltype(XWnd_EnableDragBorder), xc::XWnd_EnableDragBorder_t>);
static_assert(std::is_same_v<decltype(XWnd_Show), xc::XWnd_Show_t>);
static_assert(std::is_same_v<decltype(XRunXCGUI), xc::XRunXCGUI_t>);
static_assert(std::is_same_v<decltype(XExitXCGUI), xc::XExitXCGUI_t>);
static_assert(std::is_same_v<decltype(XC_GetObjectByName), xc::XC_GetObjectByName_t>);
static_assert(std::is_same_v<decltype(XEle_RegEventC1), xc::XEle_RegEventC1_t>);
static_assert(std::is_same_v<decltype(XEdit_GetText_Temp), xc::XEdit_GetText_Temp_t>);
static_assert(std::is_same_v<decltype(XC_wtoa), xc::XC_wtoa_t>);
static_assert(std::is_same_v<decltype(XEdit_SetText), xc::XEdit_SetText_t>);
static_assert(std::is_same_v<decltype(XShapeText_SetText), xc::XShapeText_SetText_t>);
static_assert(std::is_same_v<decltype(XEle_Redraw), xc::XEle_Redraw_t>);
static_assert(std::is_same_v<decltype(XWidget_Show), xc::XWidget_Show_t>);
static_assert(std::is_same_v<decltype(XWnd_AdjustLayout), xc::XWnd_AdjustLayout_t>);
static_assert(std::is_same_v<decltype(XWnd_Redraw), xc::XWnd_Redraw_t>);
static_assert(std::is_same_v<decltype(XWnd_GetHWND), xc::XWnd_GetHWND_t>);
static_assert(std::is_same_v<decltype(XBtn_IsCheck), xc::XBtn_IsCheck_t>);
static_assert(std::is_same_v<decltype(XProgBar_SetPos), xc::XProgBar_SetPos_t>);
static_assert(std::is_same_v<decltype(XNotifyMsg_WindowPopupEx), xc::XNotifyMsg_WindowPopupEx_t>);
