#include "widgets/XiGauge.hpp"

#include <algorithm>

namespace tarvos {

std::int64_t TXiGauge::FilledWidth() const {
    if (Max() == 0) return 0;
    return RoundHalfEven(static_cast<std::int64_t>(Position()) * Width, Max());
}

Bitmap TXiGauge::Paint() {
    Bitmap canvas = MakeBitmap(Width, Height, 0);
    Draw(canvas, 0, 0, FBackTexture);
    auto w = static_cast<int>(std::clamp<std::int64_t>(FilledWidth(), 0, Width));
    if (!FForeTexture.Empty()) CopyArea(canvas, FForeTexture, 0, 0, w, Height);
    return canvas;
}

}  // namespace tarvos
