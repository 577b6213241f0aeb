#pragma once
#include <cstddef>

namespace tarvos {

// The native launcher embeds its configuration slot in the binary at link time. The slot is
// preceded by these 16 bytes so that tarvos-pack can find it in the file and patch it in
// place. The marker is kept in two halves here so that no program holds it in one piece
// except the slot itself.
inline constexpr const char* kBlankMarkerHead = "TARVOS:B";
inline constexpr const char* kBlankMarkerTail = "LANK:v1#";
inline constexpr std::size_t kBlankMarkerSize = 16;

}  // namespace tarvos
