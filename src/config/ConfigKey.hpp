#pragma once
#include <array>
#include <cstdint>

namespace tarvos {

// The constant from which the key of the packed configuration is built. The launcher and
// tarvos-pack must agree on it, so it lives here only.
inline constexpr char kConfigKeyConstant[] = "Tv#9kQ2!mZ7x@Lp4&Wr8";
static_assert(sizeof(kConfigKeyConstant) == 21, "the key constant has 20 characters");

// The 20-byte key: characters 11 to 20 of the constant, then characters 1 to 10.
inline std::array<std::uint8_t, 20> ConfigKey() {
    std::array<std::uint8_t, 20> key{};
    for (int i = 0; i < 10; ++i) {
        key[i] = static_cast<std::uint8_t>(kConfigKeyConstant[10 + i]);
        key[10 + i] = static_cast<std::uint8_t>(kConfigKeyConstant[i]);
    }
    return key;
}

// The largest packed configuration the slot accepts.
inline constexpr std::int32_t kMaxPackedConfig = 1536000;

}  // namespace tarvos
