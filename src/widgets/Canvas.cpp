#include "widgets/Canvas.hpp"

#include <algorithm>
#include <cstring>

namespace tarvos {

namespace {
constexpr std::int64_t kMaxCanvasPixels = 16LL * 1024 * 1024;

void Put(std::uint8_t* p, TColor c) {
    p[0] = static_cast<std::uint8_t>(c >> 16), p[1] = static_cast<std::uint8_t>(c >> 8);
    p[2] = static_cast<std::uint8_t>(c), p[3] = 255;
}
}  // namespace

Bitmap MakeBitmap(int width, int height, TColor fill) {
    Bitmap b;
    if (width <= 0 || height <= 0) return b;
    // A skin can give any size; a widget far larger than any screen paints nothing rather
    // than exhausting memory.
    if (static_cast<std::int64_t>(width) * height > kMaxCanvasPixels) return b;
    b.width = width, b.height = height;
    b.pixels.resize(static_cast<size_t>(width) * height * 4);
    FillArea(b, 0, 0, width, height, fill);
    return b;
}

void FillArea(Bitmap& target, int left, int top, int right, int bottom, TColor colour) {
    left = std::max(left, 0), top = std::max(top, 0);
    right = std::min(right, target.width), bottom = std::min(bottom, target.height);
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) Put(target.Row(y) + static_cast<size_t>(x) * 4, colour);
}

void FrameArea(Bitmap& target, int left, int top, int right, int bottom, TColor colour) {
    if (right <= left || bottom <= top) return;
    FillArea(target, left, top, right, top + 1, colour);
    FillArea(target, left, bottom - 1, right, bottom, colour);
    FillArea(target, left, top, left + 1, bottom, colour);
    FillArea(target, right - 1, top, right, bottom, colour);
}

void Draw(Bitmap& target, int x, int y, const Bitmap& picture) {
    if (picture.Empty()) return;
    int left = std::max(x, 0), right = std::min(x + picture.width, target.width);
    int top = std::max(y, 0), bottom = std::min(y + picture.height, target.height);
    if (left >= right) return;
    for (int row = top; row < bottom; ++row)
        std::memcpy(target.Row(row) + static_cast<size_t>(left) * 4,
                    picture.Row(row - y) + static_cast<size_t>(left - x) * 4,
                    static_cast<size_t>(right - left) * 4);
}

void CopyArea(Bitmap& target, const Bitmap& source, int left, int top, int right, int bottom) {
    left = std::max(left, 0), top = std::max(top, 0);
    right = std::min({right, target.width, source.width});
    bottom = std::min({bottom, target.height, source.height});
    if (left >= right) return;
    for (int y = top; y < bottom; ++y)
        std::memcpy(target.Row(y) + static_cast<size_t>(left) * 4,
                    source.Row(y) + static_cast<size_t>(left) * 4, static_cast<size_t>(right - left) * 4);
}

void Tile(Bitmap& target, const Bitmap& pattern) {
    if (pattern.Empty()) return;
    for (int y = 0; y < target.height; y += pattern.height)
        for (int x = 0; x < target.width; x += pattern.width) Draw(target, x, y, pattern);
}

std::int64_t RoundHalfEven(std::int64_t numerator, std::int64_t denominator) {
    if (denominator < 0) numerator = -numerator, denominator = -denominator;
    std::int64_t q = numerator / denominator, r = numerator % denominator;
    if (r < 0) --q, r += denominator;  // floor division: 0 <= r < denominator
    std::int64_t twice = 2 * r;
    if (twice > denominator || (twice == denominator && (q & 1))) ++q;
    return q;
}

TColor Blend(TColor from, TColor to, int step, int steps) {
    if (steps <= 1) return from;
    TColor out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int a = (from >> shift) & 0xFF, b = (to >> shift) & 0xFF;
        auto c = a + RoundHalfEven(static_cast<std::int64_t>(b - a) * step, steps - 1);
        out |= static_cast<TColor>(c) << shift;
    }
    return out;
}

}  // namespace tarvos
