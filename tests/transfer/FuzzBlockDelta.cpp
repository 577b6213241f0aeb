// A block index as a mirror could make it, against the player's old copy, through the
// scan and the block matching. The index is sealed here, so the fuzzer reaches the scan
// instead of stopping at the seal; its blocks may copy sums from the old copy (a true
// match), take only the weak sum (a hostile index of colliding weak sums) or be raw.
// Any plan must point inside the old copy at bytes that really have the block's digest,
// and the scan must stay within 1 s per MiB of old copy.
//
// Input: [block size selector] [file size: 3 bytes, in 1/256 blocks] [old copy length: 2
// bytes, KiB] then per block [mode] [4 bytes: offset or weak sum] [16 bytes when raw],
// and whatever is left is tiled into the old copy.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "inventory/CustomMD5.hpp"
#include "platform/FileSystem.hpp"
#include "support/FuzzInput.hpp"
#include "transfer/BlockDelta.hpp"
#include "transfer/BlockIndex.hpp"

using namespace tarvos;

namespace {

std::array<uint8_t, 16> Md5Of(const uint8_t* data, size_t length) {
    TCustomMD5 md5;
    md5.AddBuffer(data, length);
    return md5.Digest();
}

std::vector<uint8_t> TiledOldCopy(FuzzInput& in, size_t length) {
    const std::string tail = in.Rest();
    std::vector<uint8_t> old(length);
    for (size_t i = 0; i < length; ++i) old[i] = tail.empty() ? 0 : static_cast<uint8_t>(tail[i % tail.size()]);
    return old;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    BlockIndex index;
    index.blockSize = 1024u << (in.Byte() % 11);
    const uint32_t fileParts = in.Uint(3);
    index.fileSize = std::max<int64_t>(1, static_cast<int64_t>(fileParts) * index.blockSize / 256);
    const size_t oldLength = std::min<size_t>(in.Uint(2), 2048) << 10;
    const size_t blocks = static_cast<size_t>((index.fileSize + index.blockSize - 1) / index.blockSize);
    if (blocks > 4096) return 0;
    std::vector<std::pair<uint8_t, std::string>> specs;
    for (size_t i = 0; i < blocks; ++i) {
        const uint8_t mode = in.Byte() % 3;
        specs.emplace_back(mode, in.Bytes(mode == 2 ? 20 : 4));
    }
    const std::vector<uint8_t> old = TiledOldCopy(in, oldLength);
    for (size_t i = 0; i < blocks; ++i) {
        BlockIndex::Block b;
        const auto& [mode, bytes] = specs[i];
        uint32_t word = 0;
        std::memcpy(&word, bytes.data(), std::min<size_t>(4, bytes.size()));
        const uint32_t length = index.BlockLength(i);
        if (mode == 2 || old.size() < length) {
            b.weak = word;
            std::memcpy(b.strong.data(), bytes.data() + std::min<size_t>(4, bytes.size()),
                        std::min<size_t>(16, bytes.size() > 4 ? bytes.size() - 4 : 0));
        } else {
            const size_t at = word % (old.size() - length + 1);
            b.weak = WeakSum(old.data() + at, length);
            if (mode == 0) b.strong = Md5Of(old.data() + at, length);
            else b.strong.fill(static_cast<uint8_t>(word));
        }
        index.blocks.push_back(b);
    }
    const std::string wire = WriteBlockIndex(index);
    BlockIndex read;
    if (!ReadBlockIndex(wire.data(), wire.size(), read)) return 0;

    static const std::string oldFile = FuzzScratchFile("old-copy");
    WriteFileBytes(oldFile, old.data(), old.size());
    const auto started = std::chrono::steady_clock::now();
    DeltaPlan plan;
    try {
        plan = MatchBlocks(read, oldFile);
    } catch (const std::exception&) {
        return 0;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double mib = static_cast<double>(old.size()) / (1 << 20);
    if (seconds > 1.0 + mib) {
        std::fprintf(stderr, "scan of %.2f MiB took %.2f s\n", mib, seconds);
        std::abort();
    }
    if (plan.source.size() != read.blocks.size()) std::abort();
    for (size_t i = 0; i < plan.source.size(); ++i) {
        const int64_t at = plan.source[i];
        if (at < 0) continue;
        const uint32_t length = read.BlockLength(i);
        if (at + length > static_cast<int64_t>(old.size())) std::abort();
        if (Md5Of(old.data() + at, length) != read.blocks[i].strong) std::abort();
    }
    return 0;
}
