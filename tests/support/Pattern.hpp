#pragma once
#include <cstdint>
#include <string>

namespace tarvos::test {

// The content of every test file: byte i depends on all of i, so a piece written at the
// wrong offset never matches by accident.
inline unsigned char PatternByte(int64_t i) {
    uint64_t x = static_cast<uint64_t>(i) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    return static_cast<unsigned char>(x >> 56);
}

inline void FillPattern(char* out, int64_t offset, size_t length) {
    for (size_t k = 0; k < length; ++k) out[k] = static_cast<char>(PatternByte(offset + static_cast<int64_t>(k)));
}

}  // namespace tarvos::test
