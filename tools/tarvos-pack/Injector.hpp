#pragma once
#include <filesystem>
#include <optional>
#include <string>

#include "SkinWriter.hpp"

namespace tarvos::pack {

// The package as the slot carries it: compressed with bzip2, then scrambled with the
// launcher's key. Throws TarvosError when it would not fit the slot.
Bytes PackForSlot(std::span<const std::uint8_t> package);

// The slot contents: the length word, the packed bytes, zeros to the end of the slot.
Bytes SlotBytes(std::span<const std::uint8_t> packed);

// Writes the package into the slot of a built launcher, in place.
void InjectPackage(std::span<const std::uint8_t> package, const std::filesystem::path& launcher);

// The package a launcher file carries, read the way the launcher reads it; nothing when its
// slot holds no usable package (the launcher would then report the missing configuration).
std::optional<Bytes> PackageOfLauncher(std::span<const std::uint8_t> file);

}  // namespace tarvos::pack
