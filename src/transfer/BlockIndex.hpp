#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvos {

// What a server publishes beside the archive of a big file so that a launcher holding an
// older copy can fetch only the blocks that changed: the file cut into equal blocks (the
// last one shorter), a rolling checksum and an MD5 per block, and the whole file's MD5.
//
// On the wire, little-endian:
//   "TDX1"  u64 file size  u32 block size  [16] file MD5
//   per block: u32 weak sum  [16] block MD5
//   [16] MD5 of every byte before it
// The closing digest lets a damaged or cut index be told from a valid one before any block
// of the player's file is trusted to it.
struct BlockIndex {
    struct Block {
        uint32_t weak = 0;
        std::array<uint8_t, 16> strong{};
    };
    int64_t fileSize = 0;
    uint32_t blockSize = 0;
    std::array<uint8_t, 16> fileDigest{};
    std::vector<Block> blocks;

    int64_t BlockStart(size_t i) const { return static_cast<int64_t>(i) * blockSize; }
    uint32_t BlockLength(size_t i) const;
    // The file's digest as a list writes it (32 upper-case hexadecimal digits).
    std::string FileDigestText() const;
};

// The launcher asks for an index only for files of at least this size, and the publisher
// writes none for smaller ones: below it an index saves too little to be worth a request.
inline constexpr int64_t kDeltaFloor = 1 << 20;

inline constexpr uint32_t kMinBlockSize = 64u << 10;
inline constexpr uint32_t kMaxBlockSize = 1u << 20;

// The block size for a file: about 16384 blocks, a power of two from 64 KiB to 1 MiB, so that
// a 1 GiB file's index stays near 320 KiB and a changed spot costs at most a block or two.
// An index read from a server must have exactly this size for its file.
uint32_t ChooseBlockSize(int64_t fileSize);

// Reads a whole file and builds its index; throws TarvosError when it cannot be read.
BlockIndex MakeBlockIndex(const std::string& fileName, uint32_t blockSize);
std::string WriteBlockIndex(const BlockIndex& index);
// False for anything that is not a whole, undamaged index (nothing is allocated beyond what
// the data itself holds).
bool ReadBlockIndex(const void* data, size_t size, BlockIndex& index);

// The weak sum of a window that slides one byte at a time: two running sums, the second
// weighting each byte by its distance from the window's end.
class RollingSum {
public:
    explicit RollingSum(uint32_t window) : window_(window) {}
    void Reset(const uint8_t* data, size_t length);
    void Roll(uint8_t out, uint8_t in) {
        a_ += in - out;
        b_ += a_ - window_ * out;
    }
    uint32_t Value() const { return (a_ & 0xffff) | (b_ << 16); }

private:
    uint32_t window_;
    uint32_t a_ = 0, b_ = 0;
};

uint32_t WeakSum(const uint8_t* data, size_t length);

}  // namespace tarvos
