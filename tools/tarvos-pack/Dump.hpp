#pragma once
#include <cstdint>
#include <ostream>
#include <span>

namespace tarvos::pack {

// Prints what a configuration package holds: both skins (elements, picture sizes, outline,
// parameters), the configuration text's settings, the languages and their texts. A damaged
// section is reported with the reason, as far as it could be read. Returns false then.
bool DumpPackage(std::span<const std::uint8_t> package, std::ostream& out);

}  // namespace tarvos::pack
