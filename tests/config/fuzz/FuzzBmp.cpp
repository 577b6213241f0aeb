#include <cstdint>
#include <span>

#include "platform/Bitmap.hpp"
#include "platform/Error.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    try {
        tarvos::Bitmap b = tarvos::DecodeBmp(std::span(data, size));
        if (!b.Empty()) (void)b.ColorAt(b.width - 1, b.height - 1);
    } catch (const tarvos::TarvosError&) {
    }
    return 0;
}
