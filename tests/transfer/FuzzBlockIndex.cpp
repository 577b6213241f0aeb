// Arbitrary bytes as a block index: reading must neither crash nor accept an index whose
// blocks do not cover exactly its file size, and what it accepts must write back the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transfer/BlockIndex.hpp"

using namespace tarvos;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BlockIndex index;
    if (!ReadBlockIndex(data, size, index)) return 0;
    if (index.blockSize < kMinBlockSize || index.blockSize > kMaxBlockSize) std::abort();
    const int64_t count = static_cast<int64_t>(index.blocks.size());
    if (count * index.blockSize < index.fileSize || (count > 0 && index.BlockStart(count - 1) >= index.fileSize))
        std::abort();
    if (WriteBlockIndex(index) != std::string(reinterpret_cast<const char*>(data), size)) std::abort();
    return 0;
}
