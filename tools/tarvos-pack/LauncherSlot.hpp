#pragma once
#include <cstdint>
#include <filesystem>
#include <span>

#include "SkinWriter.hpp"

namespace tarvos::pack {

// Where the configuration slot of a launcher file lies: in a Windows launcher the data of
// its RCDATA resource "blank" (found through the PE resource directory), in a native one the
// bytes after the slot marker. Throws TarvosError with a message for the operator when the
// file is not a launcher or has no slot.
size_t FindSlot(std::span<const std::uint8_t> file);

Bytes ReadWholeFile(const std::filesystem::path& path);
void WriteWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace tarvos::pack
