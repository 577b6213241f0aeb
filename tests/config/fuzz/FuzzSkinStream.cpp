#include <cstdint>
#include <span>

#include "config/TarvosUpdateConfig.hpp"
#include "platform/Error.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    // The first byte picks the window, so both sections are reached without a valid first one.
    if (size == 0) return 0;
    tarvos::SkinReader reader(std::span(data + 1, size - 1));
    tarvos::TtucConfig skin;
    try {
        if (data[0] & 1) {
            skin.MainWindow.LoadFromStreamVers(reader, tarvos::TtucMainWindow::kVersion);
            skin.ConfigWindow.LoadFromStream(reader);
        } else {
            skin.ConfigWindow.LoadFromStreamVers(reader, tarvos::TtucConfigWindow::kVersion);
        }
    } catch (const tarvos::TarvosError&) {
        return 0;
    }
    (void)skin.MainWindow.BackGroundImage.GetRegion();
    (void)skin.MainWindow.Button_Close.IntValue("Left");
    (void)skin.ConfigWindow.Text_Title.BoolValue("Bold");
    return 0;
}
