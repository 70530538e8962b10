// Library-wide state: the handle table, the loaded resources, the switches
// and the temporaries that some exports hand out.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "element.h"
#include "resources.h"

namespace xcgui {

class Window;

struct Library {
    bool autoDpi = false;
    bool autoRedraw = false;
    Resources resources;
    std::map<xc::Handle, Element*> elements;
    std::map<xc::Handle, Window*> windows;            // live windows by handle
    std::vector<std::unique_ptr<Window>> allWindows;  // kept until XExitXCGUI
    xc::Handle nextHandle = 1;
    std::wstring tempWide;
    std::string tempAnsi;
};

Library& Lib();
xc::Handle NewHandle();
Element* ElementOf(xc::Handle h);
Window* WindowOf(xc::Handle h);
// The live window that holds an element.
Window* WindowHolding(const Element& e);

}  // namespace xcgui
