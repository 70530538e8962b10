#include "library.h"

#include "kinds.h"
#include "painter.h"
#include "side_work.h"
#include "window.h"

namespace xcgui {

Library& Lib() {
    static Library lib;
    return lib;
}

xc::Handle NewHandle() {
    auto& lib = Lib();
    if (lib.nextHandle <= 0) lib.nextHandle = 1;  // after 2^31 handles
    return lib.nextHandle++;
}

Element* ElementOf(xc::Handle h) {
    if (h == 0) return nullptr;
    auto it = Lib().elements.find(h);
    return it == Lib().elements.end() ? nullptr : it->second;
}

Window* WindowOf(xc::Handle h) {
    if (h == 0) return nullptr;
    auto it = Lib().windows.find(h);
    return it == Lib().windows.end() ? nullptr : it->second;
}

Window* WindowHolding(const Element& e) {
    const Element* top = &e;
    while (top->parent) top = top->parent;
    for (auto& [h, w] : Lib().windows)
        if (&w->Root() == top) return w;
    return nullptr;
}

namespace {

void Release() {
    auto& lib = Lib();
    lib.exitPending = false;
    const bool hadWindows = !lib.windows.empty();
    for (auto& w : lib.allWindows) w->Destroy();
    if (hadWindows) {
        MSG msg;  // the quit that closing the last window posted
        PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    lib.allWindows.clear();
    lib.windows.clear();
    lib.elements.clear();
    lib.resources = Resources{};
    FinishSideWork();
    ReleaseEditFonts();
    ShutdownGdiplus();
}

}  // namespace

InLibrary::InLibrary() { ++Lib().depth; }

InLibrary::~InLibrary() {
    if (--Lib().depth == 0 && Lib().exitPending) {
        try {
            Release();
        } catch (...) {
        }
    }
}

void ExitLibrary() {
    auto& lib = Lib();
    if (lib.depth == 0) {
        Release();
        return;
    }
    // Inside the loop: the windows close now, and their quit message ends
    // the loop; the rest is released when the last frame returns.
    lib.exitPending = true;
    for (auto& w : lib.allWindows) w->Destroy();
}

}  // namespace xcgui
