#pragma once
#include <cstdint>

#include "platform/Bitmap.hpp"

namespace tarvos {

// A Windows colour value: red in the low byte, then green, then blue.
using TColor = std::uint32_t;

constexpr TColor RgbColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return r | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}

// The drawing the widgets need, all clipped to the target so that no size can write outside
// a bitmap. Rectangles are left/top inside, right/bottom outside.
Bitmap MakeBitmap(int width, int height, TColor fill);
void FillArea(Bitmap& target, int left, int top, int right, int bottom, TColor colour);
void FrameArea(Bitmap& target, int left, int top, int right, int bottom, TColor colour);
// Draws `picture` with its top-left corner at x,y.
void Draw(Bitmap& target, int x, int y, const Bitmap& picture);
// Copies the rectangle of `source` onto the same rectangle of `target`.
void CopyArea(Bitmap& target, const Bitmap& source, int left, int top, int right, int bottom);
// Fills the target by repeating `pattern` from 0,0, as a pattern brush does.
void Tile(Bitmap& target, const Bitmap& pattern);

// numerator / denominator rounded to the nearest integer, halves to the even neighbour;
// exact for every 64-bit input (no floating point). The denominator must not be 0.
std::int64_t RoundHalfEven(std::int64_t numerator, std::int64_t denominator);

// The colour `step` of `steps` on the straight line from `from` (step 0) to `to` (the last
// step), each channel rounded as above.
TColor Blend(TColor from, TColor to, int step, int steps);

}  // namespace tarvos
