#pragma once
#include <windows.h>

#include <string>

#include <vector>

#include "platform/RegionData.hpp"
#include "widgets/Controls.hpp"

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

}  // namespace tarvos
