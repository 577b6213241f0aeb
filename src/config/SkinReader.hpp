#pragma once
#include <cstdint>
#include <span>

namespace tarvos {

// A cursor over the bytes of a skin section. Every read is checked against what remains, so a
// size field that runs past the end is reported (TarvosError) instead of being followed.
class SkinReader {
public:
    explicit SkinReader(std::span<const std::uint8_t> data) : data_(data) {}

    size_t Position() const { return pos_; }
    size_t Remaining() const { return data_.size() - pos_; }
    bool AtEnd() const { return pos_ == data_.size(); }

    std::uint8_t Byte();
    std::int32_t Int32();
    std::int64_t Int64();
    // The next n bytes; the cursor moves past them.
    std::span<const std::uint8_t> Take(std::uint64_t n);
    // A block: the 8-byte size S, then S bytes when S > 0 (an empty span otherwise).
    std::span<const std::uint8_t> SizedBlock();

private:
    std::span<const std::uint8_t> data_;
    size_t pos_ = 0;
};

}  // namespace tarvos
