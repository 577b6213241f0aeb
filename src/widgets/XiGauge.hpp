#pragma once
#include "widgets/RangeControl.hpp"

namespace tarvos {

// A gauge painted from two textures: the back texture everywhere, the fore texture over the
// filled part, which always grows from the left edge.
class TXiGauge : public TRangeControl {
public:
    explicit TXiGauge(std::string name = {}) : TRangeControl(std::move(name)) {}

    Bitmap FBackTexture, FForeTexture;

    void SetTextureBack(const Bitmap& picture) { FBackTexture = picture; }
    void SetTextureFore(const Bitmap& picture) { FForeTexture = picture; }

    // Filled width: Position / Max of the width, measured from 0 (not from Min); 0 when Max
    // is 0. Not clipped: a position above Max gives more than the width.
    std::int64_t FilledWidth() const;
    Bitmap Paint() override;
};

}  // namespace tarvos
