#include "config/SkinReader.hpp"

#include "platform/Error.hpp"

namespace tarvos {

std::span<const std::uint8_t> SkinReader::Take(std::uint64_t n) {
    if (n > Remaining()) throw TarvosError("Damaged configuration package: data ends inside a block");
    auto part = data_.subspan(pos_, static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    return part;
}

std::uint8_t SkinReader::Byte() { return Take(1)[0]; }

std::int32_t SkinReader::Int32() {
    auto b = Take(4);
    return static_cast<std::int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
}

std::int64_t SkinReader::Int64() {
    auto b = Take(8);
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b[i];
    return static_cast<std::int64_t>(v);
}

std::span<const std::uint8_t> SkinReader::SizedBlock() {
    std::int64_t size = Int64();
    if (size <= 0) return {};
    return Take(static_cast<std::uint64_t>(size));
}

}  // namespace tarvos
