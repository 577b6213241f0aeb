#pragma once
#include "widgets/RangeControl.hpp"

namespace tarvos {

// A progress bar painted as two gradients (the empty and the filled part) inside a
// one-pixel frame. The launcher always runs it with its own colours (the custom scheme).
class TXiProgressBar : public TRangeControl {
public:
    enum class TColorScheme { Custom };
    // The property indexes by which one setter serves all five colours.
    enum ColorIndex { ciBorder = 0, ciBackFace = 10, ciBackGrad = 11, ciForeFace = 20, ciForeGrad = 21 };

    explicit TXiProgressBar(std::string name = {}) : TRangeControl(std::move(name)) {}

    TColor FColorBorder = RgbColor(0, 0, 0);
    TColor FBackColorFace = RgbColor(255, 255, 255);
    TColor FBackColorGrad = RgbColor(192, 192, 192);
    TColor FForeColorFace = RgbColor(0, 120, 215);
    TColor FForeColorGrad = RgbColor(0, 60, 140);
    TColorScheme FColorScheme = TColorScheme::Custom;

    void SetColor(ColorIndex index, TColor colour);

    // Filled length along the bar (columns when horizontal, rows from the bottom when
    // vertical), before clipping; 0 when Max equals Min.
    std::int64_t FilledLength() const;
    Bitmap Paint() override;
};

}  // namespace tarvos
