#include "widgets/XiProgressBar.hpp"

#include <algorithm>

namespace tarvos {

namespace {
// One line per row, from `from` at the area's top row to `to` at its bottom row.
void RowGradient(Bitmap& b, int left, int top, int right, int bottom, TColor from, TColor to) {
    for (int y = top; y < bottom; ++y)
        FillArea(b, left, y, right, y + 1, Blend(from, to, y - top, bottom - top));
}
// One line per column, from `from` at the area's left column to `to` at its right column.
void ColumnGradient(Bitmap& b, int left, int top, int right, int bottom, TColor from, TColor to) {
    for (int x = left; x < right; ++x)
        FillArea(b, x, top, x + 1, bottom, Blend(from, to, x - left, right - left));
}
}  // namespace

void TXiProgressBar::SetColor(ColorIndex index, TColor colour) {
    switch (index) {
        case ciBorder:
            FColorBorder = colour;
            break;
        case ciBackFace:
            FBackColorFace = colour;
            break;
        case ciBackGrad:
            FBackColorGrad = colour;
            break;
        case ciForeFace:
            FForeColorFace = colour;
            break;
        case ciForeGrad:
            FForeColorGrad = colour;
            break;
    }
    FColorScheme = TColorScheme::Custom;
}

std::int64_t TXiProgressBar::FilledLength() const {
    std::int64_t range = static_cast<std::int64_t>(Max()) - Min();
    if (range == 0) return 0;
    std::int64_t done = static_cast<std::int64_t>(Position()) - Min();
    if (Orientation() == TOrientation::Horizontal)
        return RoundHalfEven((static_cast<std::int64_t>(Width) - 2) * done, range);
    range = range < 0 ? -range : range;
    return RoundHalfEven((static_cast<std::int64_t>(Height) - 2) * done + range, range);
}

Bitmap TXiProgressBar::Paint() {
    const int w = Width, h = Height;
    Bitmap canvas = MakeBitmap(w, h, 0);
    if (canvas.Empty()) return canvas;
    if (Orientation() == TOrientation::Horizontal) {
        auto f = static_cast<int>(std::clamp<std::int64_t>(FilledLength(), 0, w));
        RowGradient(canvas, 1, 1, w - 1, h - 1, FBackColorFace, FBackColorGrad);
        RowGradient(canvas, 0, 0, f, h, FForeColorFace, FForeColorGrad);
    } else {
        auto f = static_cast<int>(std::clamp<std::int64_t>(FilledLength(), 0, h));
        ColumnGradient(canvas, 1, 1, w - 1, h - 1, FBackColorFace, FBackColorGrad);
        ColumnGradient(canvas, 0, h - f, w, h, FForeColorFace, FForeColorGrad);
    }
    FrameArea(canvas, 0, 0, w, h, FColorBorder);
    return canvas;
}

}  // namespace tarvos
