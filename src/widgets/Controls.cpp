#include "widgets/Controls.hpp"

namespace tarvos {

std::string TComboBox::Text() const {
    if (ItemIndex < 0 || ItemIndex >= static_cast<int>(Items.size())) return {};
    return Items[static_cast<size_t>(ItemIndex)];
}

}  // namespace tarvos
