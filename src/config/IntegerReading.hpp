#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvos {

// The integer reading of the configuration and the skins: leading blanks skipped, an
// optional sign, then decimal digits or hexadecimal digits after "$", "x" or "0x", over the
// signed 64-bit range. Anything else (trailing blanks included) or an empty text fails.
std::optional<std::int64_t> ReadInteger(std::string_view text);

// The reading with the callers' default: 0 when it fails, else the low 32 bits.
std::int32_t ReadInteger32(std::string_view text);

}  // namespace tarvos
