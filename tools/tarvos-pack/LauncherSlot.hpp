#pragma once
#include <cstdint>
#include <filesystem>
#include <span>

#include "SkinWriter.hpp"
#include "config/LauncherSlot.hpp"

namespace tarvos::pack {

using tarvos::FindSlot;

Bytes ReadWholeFile(const std::filesystem::path& path);
void WriteWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace tarvos::pack
