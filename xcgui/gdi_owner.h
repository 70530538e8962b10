// Owners of GDI objects: each is given back however the code that made it
// ends (memory running out included).
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace xcgui {

struct GdiObjectDeleter {
    void operator()(HGDIOBJ o) const { DeleteObject(o); }
};
struct MemoryDcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
using BitmapOwner = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDeleter>;

// An object selected into a DC for a scope, the old one put back after.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~Selection() { SelectObject(dc_, old_); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A window's or the screen's DC for a scope.
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(hwnd_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

}  // namespace xcgui
