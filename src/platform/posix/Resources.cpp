#include "platform/Resources.hpp"

#include <cstdint>
#include <cstring>

#include "platform/BlankSlot.hpp"

namespace tarvos {

namespace {
struct BlankSlot {
    char marker[kBlankMarkerSize];
    std::uint8_t bytes[kBlankSlotSize];
};
}  // namespace

// In a section of its own and initialised, so the whole slot lies in the file where the tool
// can overwrite it; "used" keeps it even though only its address is taken. Not const: the
// debug information would otherwise carry a second copy of the marker.
extern "C" {
__attribute__((section(".tarvos_blank"), used, aligned(16)))
BlankSlot tarvos_blank_slot = {{'T', 'A', 'R', 'V', 'O', 'S', ':', 'B', 'L', 'A', 'N', 'K', ':', 'v', '1', '#'}, {0}};
}

namespace {
class OwnBinaryResources : public Resources {
public:
    std::span<const std::uint8_t> RawData(const std::string& name) const override {
        if (name.size() != 5 || strncasecmp(name.c_str(), "blank", 5) != 0) return {};
        // The slot's bytes are patched after linking: hide their compile-time value from
        // the optimiser.
        const std::uint8_t* p = tarvos_blank_slot.bytes;
        asm volatile("" : "+r"(p));
        return {p, kBlankSlotSize};
    }
};
}  // namespace

const Resources& OwnResources() {
    static const OwnBinaryResources resources;
    return resources;
}

}  // namespace tarvos
