#pragma once
#include <cstdint>
#include <span>
#include <vector>

namespace tarvos {

// A picture as the widgets paint it: 32-bit pixels in memory order B, G, R, A, rows top-down.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // width * height * 4 bytes

    bool Empty() const { return width <= 0 || height <= 0; }
    // The pixel as a Windows colour value (red in the low byte, then green, then blue).
    std::uint32_t ColorAt(int x, int y) const;
    const std::uint8_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * width * 4; }
    std::uint8_t* Row(int y) { return pixels.data() + static_cast<size_t>(y) * width * 4; }
};

// Decodes a complete BMP file image (file header, info header, colour table, pixels):
// 1, 4, 8, 16, 24 and 32 bits per pixel, uncompressed, run-length encoded (4 and 8 bits) or
// with bit-field masks, bottom-up or top-down. Every size in the header is checked against the bytes present, so damaged input
// is refused with a TarvosError instead of being read past its end.
Bitmap DecodeBmp(std::span<const std::uint8_t> file);

// Limits the pixels that DecodeBmp may produce on this thread while the budget lives: a
// package of a few hundred bytes can declare dozens of run-length pictures of millions of
// pixels each, which would take gigabytes once decoded. A picture past the budget is
// refused like a damaged one. Budgets nest; the innermost one counts.
class PixelBudget {
public:
    explicit PixelBudget(std::int64_t pixels);
    ~PixelBudget();
    PixelBudget(const PixelBudget&) = delete;
    PixelBudget& operator=(const PixelBudget&) = delete;

    std::int64_t Left() const { return left_; }
    // Takes pixels from the innermost budget of this thread; false (nothing taken) when
    // they are more than it has left.
    static bool Take(std::int64_t pixels);

private:
    std::int64_t left_;
    PixelBudget* outer_;
};

// Writes a 24-bit bottom-up BMP file image (used by the operator tool and the tests).
std::vector<std::uint8_t> EncodeBmp24(const Bitmap& bitmap);

}  // namespace tarvos
