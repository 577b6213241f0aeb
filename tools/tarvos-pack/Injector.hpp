#pragma once
#include <filesystem>
#include <optional>
#include <string>

#include "SkinWriter.hpp"
#include "config/LauncherSlot.hpp"

namespace tarvos::pack {

// The package as the slot carries it: compressed with bzip2, then scrambled with the
// launcher's key. Throws TarvosError when it would not fit the slot.
Bytes PackForSlot(std::span<const std::uint8_t> package);

// The slot contents: the length word, the packed bytes, zeros to the end of the slot.
Bytes SlotBytes(std::span<const std::uint8_t> packed);

// Writes the package into the slot of a built launcher, in place.
void InjectPackage(std::span<const std::uint8_t> package, const std::filesystem::path& launcher);

using tarvos::PackageOfLauncher;

}  // namespace tarvos::pack
