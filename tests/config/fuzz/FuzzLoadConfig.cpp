#include <cstdint>
#include <span>

#include "platform/Resources.hpp"
#include "startup/Startup.hpp"

// Arbitrary slot bytes through the whole loading path of start-up.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    tarvos::MemoryResources resources("blank", std::span(data, size));
    tarvos::StartupState state = tarvos::PrepareStartup({}, resources);
    (void)state.skin->MainWindow.BackGroundImage.image.width;
    return 0;
}
