#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarvos {

// Where the configuration slot of a launcher file lies: in a Windows launcher the data of
// its RCDATA resource "blank" (found through the PE resource directory), in a native one the
// bytes after the slot marker. Throws TarvosError with a message for the operator when the
// file is not a launcher or has no slot.
size_t FindSlot(std::span<const std::uint8_t> file);

// The package a launcher file carries, read the way the launcher reads it; nothing when its
// slot holds no usable package (the launcher would then report the missing configuration).
// Throws TarvosError as FindSlot does.
std::optional<std::vector<std::uint8_t>> PackageOfLauncher(std::span<const std::uint8_t> file);

// The list key in the configuration a launcher file carries, as its text says it; empty
// when it carries none, or no usable configuration, or is no launcher at all.
std::string PublicKeyOfLauncher(std::span<const std::uint8_t> file);

}  // namespace tarvos
