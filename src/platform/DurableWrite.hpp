#pragma once
#include <string>
#include <string_view>

namespace tarvos {

// Writes a small file so that a power cut leaves it either as it was or whole with the new
// bytes: written beside it, flushed to the disk, renamed over it, the folder flushed too.
// False when any step failed (the old file then stays).
bool WriteFileDurably(const std::string& fileName, std::string_view bytes);

}  // namespace tarvos
