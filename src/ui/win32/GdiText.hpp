#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include <vector>

#include "platform/RegionData.hpp"
#include "widgets/Controls.hpp"
#include "widgets/Form.hpp"

namespace tarvos {

std::wstring WideText(const std::string& utf8);

// A GDI font for a widget's font; deleted with the object.
class GdiFont {
public:
    explicit GdiFont(const TFont& font);
    ~GdiFont();
    GdiFont(const GdiFont&) = delete;
    GdiFont& operator=(const GdiFont&) = delete;
    HFONT Handle() const { return font_; }

private:
    HFONT font_;
};

// A window's painting, from BeginPaint to its EndPaint on every path.
class PaintScope {
public:
    explicit PaintScope(HWND hwnd) : hwnd_(hwnd) { dc_ = BeginPaint(hwnd, &ps_); }
    ~PaintScope() { EndPaint(hwnd_, &ps_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC Dc() const { return dc_; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// An off-screen picture compatible with a device context: a memory device context with a
// bitmap of the given size selected into it, both released on every path. Null when the
// system cannot make them (a picture too large for it).
class OffscreenDc {
public:
    OffscreenDc(HDC like, int width, int height);
    ~OffscreenDc();
    OffscreenDc(const OffscreenDc&) = delete;
    OffscreenDc& operator=(const OffscreenDc&) = delete;
    HDC Dc() const { return dc_; }
    explicit operator bool() const { return dc_ && bitmap_; }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

// Draws a label's caption the way the widget describes it: its font and colour, a shadow for
// shadowed labels, right-aligned for right-to-left reading, broken into lines when wrapping.
void DrawLabel(HDC dc, const TLabel& label);
// Centres a caption in the widget's rectangle.
void DrawCentred(HDC dc, const TControl& control, const std::string& caption);

// A window region of the outline's rectangles; nullptr for none (rectangular), also when the
// system cannot make the region. `create` is the system's region maker (replaced by tests).
using RegionCreator = HRGN(WINAPI*)(const XFORM*, DWORD, const RGNDATA*);
HRGN MakeRegion(const std::vector<RegionRect>& outline, RegionCreator create = ExtCreateRegion);
// Copies a picture to the device context at x, y.
void BlitPicture(HDC dc, int x, int y, const Bitmap& picture);
// Paints a skinned window's form: its composed picture with the texts drawn over it off
// screen, then onto dc in one step. With no memory to compose it, the window shows its plain
// face until a later painting succeeds; an error reported at every painting would bring one
// message box after another.
void PaintComposed(HDC dc, TForm& form, const std::function<void(HDC)>& drawTexts);

}  // namespace tarvos
