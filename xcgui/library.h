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
    int depth = 0;             // library frames on this thread's stack (loop, window procedures)
    bool exitPending = false;  // XExitXCGUI came while depth > 0
    int clicksRunning = 0;     // click handlers still running (one may pump messages for long)
};

// Marks a library frame on the stack. Releasing the library waits until the
// last one has returned: an exit asked for from a click handler must not
// delete the window whose procedure is still running.
class InLibrary {
public:
    InLibrary();
    ~InLibrary();
    InLibrary(const InLibrary&) = delete;
    InLibrary& operator=(const InLibrary&) = delete;
};

// What XExitXCGUI does: at once, or once the last library frame returns.
void ExitLibrary();

Library& Lib();
xc::Handle NewHandle();
Element* ElementOf(xc::Handle h);
Window* WindowOf(xc::Handle h);
// The live window that holds an element.
Window* WindowHolding(const Element& e);

}  // namespace xcgui
