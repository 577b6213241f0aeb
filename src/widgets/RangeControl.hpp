#pragma once
#include <cstdint>

#include "widgets/Controls.hpp"

namespace tarvos {

enum class TOrientation { Horizontal, Vertical };

// The position rules that the gauge and the progress bar share: the position never goes
// below Min but may pass Max; Min never above Max, Max never below Min.
class TRangeControl : public TControl {
public:
    explicit TRangeControl(std::string name) : TControl(std::move(name)) { Width = 200, Height = 16; }

    std::int32_t Position() const { return position_; }
    std::int32_t Min() const { return min_; }
    std::int32_t Max() const { return max_; }
    std::int32_t Step() const { return step_; }
    TOrientation Orientation() const { return orientation_; }

    void SetPosition(std::int32_t v) {
        if (v >= min_) position_ = v;
    }
    void SetMin(std::int32_t v) {
        if (v <= max_) min_ = v;
    }
    void SetMax(std::int32_t v) {
        if (v >= min_) max_ = v;
    }
    void SetStep(std::int32_t v) { step_ = v; }
    void SetOrientation(TOrientation o) { orientation_ = o; }
    // No upper limit, as with a direct setting above Max.
    void StepIt() { position_ = static_cast<std::int32_t>(static_cast<std::int64_t>(position_) + step_); }

private:
    std::int32_t position_ = 0, min_ = 0, max_ = 100, step_ = 10;
    TOrientation orientation_ = TOrientation::Horizontal;
};

}  // namespace tarvos
