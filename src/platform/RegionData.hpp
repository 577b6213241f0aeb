#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "platform/Bitmap.hpp"

namespace tarvos {

// One rectangle of a region: left and top inside, right and bottom outside.
struct RegionRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const RegionRect&) const = default;
};

// Reads Windows region data (RGNDATA: a 32-byte header of rectangle type, then the
// rectangles). Returns nothing when the bytes are not such data: wrong header size or type,
// or a rectangle count that the bytes present cannot hold.
std::optional<std::vector<RegionRect>> ReadRegionData(std::span<const std::uint8_t> data);

// Writes rectangles as region data with their bounding box.
std::vector<std::uint8_t> WriteRegionData(const std::vector<RegionRect>& rects);

// The rectangles covering every pixel for which `inside` holds, in the banded order the
// system's region functions expect: rows top to bottom, runs left to right, and rows with the
// same runs merged into one band.
std::vector<RegionRect> OutlineRects(const Bitmap& bitmap, const std::function<bool(int x, int y)>& inside);

}  // namespace tarvos
