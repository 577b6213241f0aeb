// The block index as the publisher writes it and the launcher reads it, and the one-pass scan
// of an old copy against it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#include <random>

#include "config/TempFolder.hpp"
#include "inventory/CustomMD5.hpp"
#include "platform/Error.hpp"
#include "transfer/BlockDelta.hpp"
#include "transfer/BlockIndex.hpp"

using namespace tarvos;
using namespace tarvos::testing;

namespace {

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

void Write(const std::string& file, const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }

// Every source the scan names really holds its block: a wrong offset would build a wrong file.
void ExpectSourcesHold(const BlockIndex& index, const DeltaPlan& plan, const std::string& old) {
    for (size_t i = 0; i < plan.source.size(); ++i) {
        if (plan.source[i] < 0) continue;
        TCustomMD5 md5;
        md5.AddBuffer(old.data() + plan.source[i], index.BlockLength(i));
        EXPECT_EQ(md5.Digest(), index.blocks[i].strong) << "block " << i;
    }
}

}  // namespace

TEST(BlockIndex, ReadsBackWhatItWritesAndRefusesEveryDamage) {
    TempFolder tmp("blockindex");
    const uint32_t block = 64 << 10;
    const std::string bytes = RandomBytes(10 * block + 123, 1);
    Write("file", bytes);
    const BlockIndex index = MakeBlockIndex("file", block);
    ASSERT_EQ(index.blocks.size(), 11u);
    EXPECT_EQ(index.FileDigestText(), FileMD5("file"));
    EXPECT_EQ(index.blocks[3].weak, WeakSum(reinterpret_cast<const uint8_t*>(bytes.data()) + 3 * block, block));

    const std::string wire = WriteBlockIndex(index);
    BlockIndex back;
    ASSERT_TRUE(ReadBlockIndex(wire.data(), wire.size(), back));
    EXPECT_EQ(back.fileSize, index.fileSize);
    EXPECT_EQ(back.blockSize, block);
    EXPECT_EQ(back.fileDigest, index.fileDigest);
    for (size_t i = 0; i < index.blocks.size(); ++i) {
        EXPECT_EQ(back.blocks[i].weak, index.blocks[i].weak);
        EXPECT_EQ(back.blocks[i].strong, index.blocks[i].strong);
    }
    // Sealed, but with a block size the publisher would not choose for this file.
    const std::string larger = WriteBlockIndex(MakeBlockIndex("file", 2 * block));
    EXPECT_FALSE(ReadBlockIndex(larger.data(), larger.size(), back));
    for (size_t at = 0; at < wire.size(); at += 7) {
        std::string bad = wire;
        bad[at] ^= 0x10;
        EXPECT_FALSE(ReadBlockIndex(bad.data(), bad.size(), back)) << "byte " << at;
    }
    for (size_t cut : {size_t{0}, size_t{20}, wire.size() - 20, wire.size() - 1})
        EXPECT_FALSE(ReadBlockIndex(wire.data(), cut, back)) << cut;

    EXPECT_EQ(ChooseBlockSize(1 << 20), 64u << 10);
    EXPECT_EQ(ChooseBlockSize(int64_t{1} << 30), 64u << 10);
    EXPECT_EQ(ChooseBlockSize(int64_t{64} << 30), 1u << 20);
}

TEST(BlockIndex, ScanFindsUnchangedBlocksWhereverTheyMoved) {
    TempFolder tmp("blockscan");
    const uint32_t block = 4096;
    const std::string base = RandomBytes(64 * block + 1000, 2);
    std::string fresh = base;
    fresh.replace(10 * block + 5, 300, RandomBytes(300, 3));   // one changed spot
    fresh.insert(30 * block + 17, RandomBytes(2 * block, 4));  // everything after it shifted
    fresh.append(std::string(3 * block, '\0'));                // equal blocks of zeros
    Write("new", fresh);
    const BlockIndex index = MakeBlockIndex("new", block);

    struct Case {
        const char* name;
        std::string old;
        int64_t atMost;
    } cases[] = {
        {"older", base, 7 * block + 1000},  // 4 around the changes, 3 and the tail of new zeros
        {"truncated", base.substr(0, 20 * block), int64_t(fresh.size()) - 19 * block},
        {"same", fresh, 0},
        {"empty", "", int64_t(fresh.size())},
    };
    for (const auto& c : cases) {
        Write("old", c.old);
        const DeltaPlan plan = MatchBlocks(index, "old");
        EXPECT_LE(plan.FetchBytes(index), c.atMost) << c.name;
        ExpectSourcesHold(index, plan, c.old);
        // The ranges cover exactly the blocks to fetch, each within the file.
        int64_t ranged = 0;
        for (const auto& r : FetchRanges(index, plan, 3 * block)) {
            EXPECT_LE(r.last - r.first + 1, 3 * block);
            EXPECT_LT(r.last, index.fileSize);
            ranged += r.last - r.first + 1;
        }
        EXPECT_EQ(ranged, plan.FetchBytes(index)) << c.name;
    }
}

// A mirror can seal an index of its own (the seal has no key) whose weak sums match the old
// copy everywhere and whose strong sums match nothing. The scan gives such blocks up after a
// few misses and takes none of them; a stop ends it at once. (The bounds are generous; the
// delta bench measures the real figures.)
TEST(BlockIndex, AHostileIndexCostsABoundedScanAndAStopEndsIt) {
    TempFolder tmp("blockhostile");
    const int64_t size = 16 << 20;
    Write("old", std::string(static_cast<size_t>(size), '\0'));
    BlockIndex index;
    index.fileSize = size;
    index.blockSize = ChooseBlockSize(size);
    const std::vector<uint8_t> zeros(index.blockSize, 0);
    index.blocks.assign(static_cast<size_t>(size / index.blockSize), {WeakSum(zeros.data(), zeros.size()), {1}});
    const std::string wire = WriteBlockIndex(index);
    BlockIndex read;
    ASSERT_TRUE(ReadBlockIndex(wire.data(), wire.size(), read));

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const DeltaPlan plan = MatchBlocks(read, "old");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(16)) << "at most 1 s per MiB of the old copy";
    EXPECT_EQ(plan.FetchBytes(read), size) << "the archive or the ranges bring every block";

    std::atomic<bool> stop{false};
    Clock::time_point stoppedAt{};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stoppedAt = Clock::now();
        stop = true;
    });
    bool ended = false;
    try {
        MatchBlocks(read, "old", [&] { return stop.load(); });
    } catch (const TarvosError&) {
        ended = true;
    }
    const auto endedAt = Clock::now();
    stopper.join();
    if (ended) {
        EXPECT_LT(endedAt - stoppedAt, std::chrono::milliseconds(500));
    }
}
