#include "library.h"

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

}  // namespace xcgui
