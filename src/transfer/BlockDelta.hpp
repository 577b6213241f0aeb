#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "transfer/BlockIndex.hpp"
#include "transfer/TransferEngine.hpp"

namespace tarvos {

// Where each block of the new file comes from: an offset in the old copy, or -1 when it
// must be fetched.
struct DeltaPlan {
    std::vector<int64_t> source;
    int64_t FetchBytes(const BlockIndex& index) const;
};

// Scans the old copy once with the rolling sum; a weak hit counts only when the block's MD5
// agrees. Throws TarvosError when the old copy cannot be read, or when `stopped` says so
// (asked every few MiB; callable from any thread).
DeltaPlan MatchBlocks(const BlockIndex& index, const std::string& oldFile,
                      const std::function<bool()>& stopped = {});

struct ByteRange {
    int64_t first = 0, last = 0;  // inclusive, as a Range header names them
};
// The bytes to fetch: runs of neighbouring missing blocks merged into one request, cut into
// pieces of at most maxPiece so that several connections can share one long run.
std::vector<ByteRange> FetchRanges(const BlockIndex& index, const DeltaPlan& plan, int64_t maxPiece);

// Fetches the index at url through the engine, waiting on the loop's thread; false with a
// reason when there is none, it is not whole, or `stopped` said so (asked while waiting).
bool FetchBlockIndex(TransferEngine& engine, const std::string& url, BlockIndex& index, std::string& why,
                     const std::function<bool()>& stopped = {});

struct DeltaBuild {
    std::string oldFile, url, newFile;  // url: the uncompressed copy on the server
    int connections = 6;
    // Bytes fetched so far and to fetch in all; called on the engine's thread.
    std::function<void(int64_t loaded, int64_t total)> progress;
    // True when the build is to end at once (the application is closing); any thread asks.
    std::function<bool()> stopped;
    std::atomic<int64_t> downloaded{0};
    std::string why;  // the reason of a failure
};

// Writes the new file: local blocks from the old copy (read on a helper thread), the rest by
// ranged requests of the engine, `connections` of them in flight; runs on the engine's
// loop's thread, which stays live. False when any range failed or was not served as asked
// (the new file is then incomplete and must not be used). The digest is the caller's to check.
bool BuildFile(TransferEngine& engine, const BlockIndex& index, const DeltaPlan& plan, DeltaBuild& build);

}  // namespace tarvos
