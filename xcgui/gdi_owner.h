// Owners of GDI objects: each is given back however the code that made it
// ends (memory running out included).
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>
#include <utility>

namespace xcgui {

struct GdiObjectDeleter {
    void operator()(HGDIOBJ o) const { DeleteObject(o); }
};
struct MemoryDcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
using BitmapOwner = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDeleter>;

// A memory DC with a bitmap of its own selected into it for its whole life:
// the DC's first bitmap goes back in before either is deleted.
class BitmapDc {
public:
    BitmapDc() = default;
    // Takes the bitmap; empty when the bitmap or the DC could not be made.
    BitmapDc(HDC compatible, HBITMAP bitmap) : bitmap_(bitmap) {
        if (!bitmap_) return;
        dc_.reset(CreateCompatibleDC(compatible));
        if (dc_) old_ = SelectObject(dc_.get(), bitmap_.get());
        else bitmap_.reset();
    }
    BitmapDc(BitmapDc&& other) noexcept { *this = std::move(other); }
    BitmapDc& operator=(BitmapDc&& other) noexcept {
        if (this != &other) {
            Deselect();
            dc_ = std::move(other.dc_);
            bitmap_ = std::move(other.bitmap_);
            old_ = std::exchange(other.old_, nullptr);
        }
        return *this;
    }
    ~BitmapDc() { Deselect(); }
    HDC get() const { return dc_.get(); }
    explicit operator bool() const { return static_cast<bool>(dc_); }

private:
    void Deselect() {
        if (dc_) SelectObject(dc_.get(), old_);
    }
    // Declared in this order, so the DC goes after its bitmap was deselected
    // and deleted.
    MemoryDc dc_;
    BitmapOwner bitmap_;
    HGDIOBJ old_ = nullptr;
};

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
