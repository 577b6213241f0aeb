#include "platform/RegionData.hpp"

#include <algorithm>

namespace tarvos {

namespace {
constexpr std::uint32_t kHeaderSize = 32;
constexpr std::uint32_t kRectangles = 1;  // RDH_RECTANGLES

std::int32_t Get32(std::span<const std::uint8_t> d, size_t at) {
    return static_cast<std::int32_t>(d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) |
                                     (static_cast<std::uint32_t>(d[at + 3]) << 24));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

using Runs = std::vector<std::pair<int, int>>;

Runs RowRuns(const Bitmap& b, int y, const std::function<bool(int, int)>& inside) {
    Runs runs;
    for (int x = 0; x < b.width;) {
        if (!inside(x, y)) {
            ++x;
            continue;
        }
        int start = x;
        while (x < b.width && inside(x, y)) ++x;
        runs.emplace_back(start, x);
    }
    return runs;
}
}  // namespace

std::optional<std::vector<RegionRect>> ReadRegionData(std::span<const std::uint8_t> data) {
    if (data.size() < kHeaderSize) return std::nullopt;
    if (static_cast<std::uint32_t>(Get32(data, 0)) != kHeaderSize ||
        static_cast<std::uint32_t>(Get32(data, 4)) != kRectangles)
        return std::nullopt;
    auto count = static_cast<std::uint32_t>(Get32(data, 8));
    if (count > (data.size() - kHeaderSize) / 16) return std::nullopt;
    std::vector<RegionRect> rects(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        size_t at = kHeaderSize + i * 16;
        rects[i] = {Get32(data, at), Get32(data, at + 4), Get32(data, at + 8), Get32(data, at + 12)};
    }
    return rects;
}

std::vector<std::uint8_t> WriteRegionData(const std::vector<RegionRect>& rects) {
    RegionRect bound;
    if (!rects.empty()) bound = rects.front();
    for (const auto& r : rects) {
        bound.left = std::min(bound.left, r.left), bound.top = std::min(bound.top, r.top);
        bound.right = std::max(bound.right, r.right), bound.bottom = std::max(bound.bottom, r.bottom);
    }
    std::vector<std::uint8_t> out;
    out.reserve(kHeaderSize + rects.size() * 16);
    Put32(out, kHeaderSize);
    Put32(out, kRectangles);
    Put32(out, static_cast<std::uint32_t>(rects.size()));
    Put32(out, static_cast<std::uint32_t>(rects.size() * 16));
    for (const auto& r : {bound}) {
        Put32(out, r.left), Put32(out, r.top), Put32(out, r.right), Put32(out, r.bottom);
    }
    for (const auto& r : rects) {
        Put32(out, r.left), Put32(out, r.top), Put32(out, r.right), Put32(out, r.bottom);
    }
    return out;
}

std::vector<RegionRect> OutlineRects(const Bitmap& bitmap, const std::function<bool(int x, int y)>& inside) {
    std::vector<RegionRect> rects;
    Runs band;
    int bandTop = 0;
    auto flush = [&](int bottom) {
        for (auto [l, r] : band) rects.push_back({l, bandTop, r, bottom});
    };
    for (int y = 0; y < bitmap.height; ++y) {
        Runs runs = RowRuns(bitmap, y, inside);
        if (runs == band && y > 0) continue;
        flush(y);
        band = std::move(runs);
        bandTop = y;
    }
    flush(bitmap.height);
    return rects;
}

}  // namespace tarvos
