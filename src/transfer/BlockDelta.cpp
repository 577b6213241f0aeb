#include "transfer/BlockDelta.hpp"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <unordered_map>

#include "inventory/CustomMD5.hpp"
#include "platform/Error.hpp"
#include "platform/FileStream.hpp"
#include "platform/RandomAccessFile.hpp"

namespace tarvos {

namespace {

// An index of a 1 GiB file is about 320 KiB; anything much larger is not one of ours.
constexpr int64_t kMaxIndexBytes = 64 << 20;
// The scan's bounds against an index made to waste its time (see MatchBlocks).
constexpr uint8_t kMissesPerBlock = 4;
constexpr int64_t kMissBudgetFactor = 4;
constexpr int64_t kStopCheckBytes = 16 << 10;

std::array<uint8_t, 16> Md5Of(const uint8_t* data, size_t length) {
    TCustomMD5 md5;
    md5.AddBuffer(data, length);
    return md5.Digest();
}

// One bit per weak sum spread over a million slots: most windows of the old copy are
// turned away here without touching the hash table.
class WeakFilter {
public:
    void Add(uint32_t weak) { bits_[Slot(weak) >> 6] |= uint64_t{1} << (Slot(weak) & 63); }
    bool MayHold(uint32_t weak) const { return (bits_[Slot(weak) >> 6] >> (Slot(weak) & 63)) & 1; }

private:
    static uint32_t Slot(uint32_t weak) { return (weak * 0x9E3779B1u) >> 12; }
    std::vector<uint64_t> bits_ = std::vector<uint64_t>(1 << 14);
};

// The old copy read forward through a window that always holds the current block and the
// byte after it, as long as the file has them.
class ScanWindow {
public:
    ScanWindow(const std::string& fileName, uint32_t blockSize, const std::function<bool()>& stopped)
        : stopped_(stopped), file_(fileName, FileMode::OpenRead), need_(blockSize + 1),
          buf_(std::max<size_t>(8 << 20, 4 * static_cast<size_t>(blockSize))) {
        Fill();
    }
    int64_t FileSize() const { return file_.Size(); }
    const uint8_t* At() const { return buf_.data() + pos_; }
    int64_t Offset() const { return base_ + static_cast<int64_t>(pos_); }
    size_t Available() const { return len_ - pos_; }
    void Advance(size_t n) {
        pos_ += n;
        if (len_ - pos_ < need_) Fill();
    }

private:
    void Fill() {
        if (eof_) return;
        if (stopped_ && stopped_()) throw TarvosError("stopped");
        std::memmove(buf_.data(), buf_.data() + pos_, len_ - pos_);
        base_ += static_cast<int64_t>(pos_);
        len_ -= pos_;
        pos_ = 0;
        while (len_ < buf_.size()) {
            const size_t n = file_.Read(buf_.data() + len_, buf_.size() - len_);
            if (n == 0) {
                eof_ = true;
                break;
            }
            len_ += n;
        }
    }

    const std::function<bool()>& stopped_;
    FileStream file_;
    size_t need_;
    std::vector<uint8_t> buf_;
    size_t pos_ = 0, len_ = 0;
    int64_t base_ = 0;
    bool eof_ = false;
};

bool SameBytes(const std::array<uint8_t, 16>& a, const std::array<uint8_t, 16>& b) { return a == b; }

// The short last block cannot be found by a sliding window of full blocks; it usually sits
// at the old copy's end (an insertion or a change elsewhere leaves the tail as it was).
void MatchTail(const BlockIndex& index, const std::string& oldFile, DeltaPlan& plan) {
    const size_t last = index.blocks.size() - 1;
    const uint32_t length = index.BlockLength(last);
    if (length == index.blockSize || plan.source[last] >= 0) return;
    FileStream file(oldFile, FileMode::OpenRead);
    const int64_t at = file.Size() - length;
    if (at < 0) return;
    std::vector<uint8_t> tail(length);
    file.Seek(at, SeekOrigin::Begin);
    if (file.Read(tail.data(), length) != length) return;
    if (SameBytes(Md5Of(tail.data(), length), index.blocks[last].strong)) plan.source[last] = at;
}

}  // namespace

int64_t DeltaPlan::FetchBytes(const BlockIndex& index) const {
    int64_t bytes = 0;
    for (size_t i = 0; i < source.size(); ++i)
        if (source[i] < 0) bytes += index.BlockLength(i);
    return bytes;
}

DeltaPlan MatchBlocks(const BlockIndex& index, const std::string& oldFile, const std::function<bool()>& stopped) {
    DeltaPlan plan;
    plan.source.assign(index.blocks.size(), -1);
    if (index.blocks.empty()) return plan;
    const uint32_t size = index.blockSize;
    const size_t full = static_cast<size_t>(index.fileSize / size);
    std::unordered_map<uint32_t, std::vector<uint32_t>> byWeak;
    byWeak.reserve(full);
    WeakFilter filter;
    for (uint32_t i = 0; i < full; ++i) {
        byWeak[index.blocks[i].weak].push_back(i);
        filter.Add(index.blocks[i].weak);
    }
    ScanWindow window(oldFile, size, stopped);
    const auto checkStop = [&] {
        if (stopped && stopped()) throw TarvosError("stopped");
    };
    // The weak sums come from the server, and an index whose sums all match the old copy
    // would make every position cost a strong digest. So a block whose weak sum matched
    // without its bytes a few times is given up, and the strong digests that match nothing
    // may together read at most a few times the old copy: beyond that the blocks still
    // unmatched are fetched.
    std::vector<uint8_t> misses(full, 0);
    int64_t missBudget = kMissBudgetFactor * (window.FileSize() + size);
    int64_t sinceStopCheck = 0;
    RollingSum sum(size);
    bool fresh = true;
    while (window.Available() >= size && missBudget > 0) {
        if (fresh) sum.Reset(window.At(), size);
        fresh = false;
        const uint32_t weak = sum.Value();
        bool matched = false;
        if (filter.MayHold(weak)) {
            if (auto hit = byWeak.find(weak); hit != byWeak.end()) {
                checkStop();
                const auto strong = Md5Of(window.At(), size);
                // Equal blocks of the new file (runs of zeros) all take the same source.
                auto& ids = hit->second;
                for (size_t k = 0; k < ids.size();) {
                    const uint32_t id = ids[k];
                    if (SameBytes(index.blocks[id].strong, strong)) {
                        matched = true;
                        if (plan.source[id] < 0) plan.source[id] = window.Offset();
                    } else if (++misses[id] >= kMissesPerBlock) {
                        ids[k] = ids.back();
                        ids.pop_back();
                        continue;
                    }
                    ++k;
                }
                if (!matched) missBudget -= size;
                if (ids.empty()) byWeak.erase(hit);
            }
        }
        if (matched) {
            window.Advance(size);
            fresh = true;
            sinceStopCheck += size;
        } else {
            if (window.Available() < static_cast<size_t>(size) + 1) break;
            sum.Roll(window.At()[0], window.At()[size]);
            window.Advance(1);
            ++sinceStopCheck;
        }
        if (sinceStopCheck >= kStopCheckBytes) {
            checkStop();
            sinceStopCheck = 0;
        }
    }
    MatchTail(index, oldFile, plan);
    return plan;
}

std::vector<ByteRange> FetchRanges(const BlockIndex& index, const DeltaPlan& plan, int64_t maxPiece) {
    std::vector<ByteRange> ranges;
    for (size_t i = 0; i < plan.source.size();) {
        if (plan.source[i] >= 0) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < plan.source.size() && plan.source[end] < 0) ++end;
        const int64_t first = index.BlockStart(i);
        const int64_t last = index.BlockStart(end - 1) + index.BlockLength(end - 1) - 1;
        for (int64_t at = first; at <= last; at += maxPiece) ranges.push_back({at, std::min(last, at + maxPiece - 1)});
        i = end;
    }
    return ranges;
}

bool FetchBlockIndex(TransferEngine& engine, const std::string& url, BlockIndex& index, std::string& why,
                     const std::function<bool()>& stopped) {
    std::string bytes;
    TransferResult answer;
    TransferBatch batch(engine);
    TransferRequest r;
    r.url = url;
    r.body = [&bytes](const TransferResult&, const char* data, size_t length) {
        if (static_cast<int64_t>(bytes.size() + length) > kMaxIndexBytes) return false;
        bytes.append(data, length);
        return true;
    };
    r.done = [&answer](const TransferResult& result) { answer = result; };
    batch.Add(std::move(r));
    if (!batch.Wait(stopped)) {
        why = "stopped";
        return false;
    }
    if (!answer.ok) {
        why = answer.status != 0 ? "no index (status " + std::to_string(answer.status) + ")"
                                 : "no index (" + answer.error + ")";
        return false;
    }
    if (!ReadBlockIndex(bytes.data(), bytes.size(), index)) {
        why = "the index is damaged";
        return false;
    }
    return true;
}

namespace {

// The fetching half of a build: ranged requests of the engine, a few in flight, each
// writing what arrives at its place in the new file.
class RangeFetcher {
public:
    RangeFetcher(TransferEngine& engine, const BlockIndex& index, std::vector<ByteRange> ranges, RandomAccessFile& out,
                 DeltaBuild& build)
        : index_(index), ranges_(std::move(ranges)), out_(out), build_(build), batch_(engine) {
        for (const auto& r : ranges_) total_ += r.last - r.first + 1;
    }

    void Start(int connections) {
        const int count = std::max(1, connections);
        for (int i = 0; i < count; ++i) StartNext();
    }
    // Waits for the ranges still in flight; false when any failed or the build stopped.
    bool Finish() {
        if (!batch_.Wait([this] { return failed_ || Stopped(); })) {
            if (!failed_) Fail("stopped");
            return false;
        }
        return !failed_ && next_ >= ranges_.size();
    }

private:
    void StartNext() {
        if (failed_ || Stopped() || next_ >= ranges_.size()) return;
        const ByteRange r = ranges_[next_++];
        auto written = std::make_shared<int64_t>(0);
        auto problem = std::make_shared<std::string>();
        const std::string asked = std::to_string(r.first) + "-" + std::to_string(r.last);
        const std::string range = "bytes " + asked + "/" + std::to_string(index_.fileSize);
        TransferRequest q;
        q.url = build_.url;
        q.first = r.first;
        q.last = r.last;
        q.body = [this, r, written, problem, asked, range](const TransferResult& head, const char* data, size_t n) {
            // A server that ignores the range would send the whole file: stop at once.
            if (head.status != 206 || head.contentRange != range) {
                *problem = "the server did not serve the range " + asked + " (status " + std::to_string(head.status) +
                           ", " + head.contentRange + ")";
                return false;
            }
            if (*written + static_cast<int64_t>(n) > r.last - r.first + 1 ||
                !out_.WriteAt(r.first + *written, data, n)) {
                *problem = "cannot write the range " + asked;
                return false;
            }
            *written += static_cast<int64_t>(n);
            const int64_t loaded = build_.downloaded += static_cast<int64_t>(n);
            if (build_.progress) build_.progress(loaded, total_);
            return true;
        };
        q.done = [this, r, written, problem, asked](const TransferResult& result) {
            if (result.ok && *written == r.last - r.first + 1)
                StartNext();
            else
                Fail(!problem->empty() ? *problem : "the range " + asked + " failed: " + result.error);
        };
        batch_.Add(std::move(q));
    }

    bool Stopped() const { return build_.stopped && build_.stopped(); }

    void Fail(const std::string& why) {
        if (!failed_) build_.why = why;
        failed_ = true;
    }

    const BlockIndex& index_;
    std::vector<ByteRange> ranges_;
    RandomAccessFile& out_;
    DeltaBuild& build_;
    TransferBatch batch_;
    int64_t total_ = 0;
    size_t next_ = 0;
    bool failed_ = false;
};

// Copies the blocks the old copy holds, neighbours in both files read and written at once.
bool CopyLocalBlocks(const BlockIndex& index, const DeltaPlan& plan, const std::string& oldFile,
                     RandomAccessFile& out, const std::function<bool()>& stopped) {
    FileStream file(oldFile, FileMode::OpenRead);
    std::vector<uint8_t> buffer(1 << 20);
    for (size_t i = 0; i < plan.source.size();) {
        if (plan.source[i] < 0) {
            ++i;
            continue;
        }
        if (stopped && stopped()) return false;
        const int64_t from = plan.source[i];
        int64_t length = index.BlockLength(i);
        size_t end = i + 1;
        while (end < plan.source.size() && plan.source[end] == from + length && length < (int64_t{1} << 24)) {
            length += index.BlockLength(end);
            ++end;
        }
        file.Seek(from, SeekOrigin::Begin);
        for (int64_t done = 0; done < length;) {
            const size_t n = static_cast<size_t>(std::min<int64_t>(length - done, buffer.size()));
            if (file.Read(buffer.data(), n) != n || !out.WriteAt(index.BlockStart(i) + done, buffer.data(), n))
                return false;
            done += static_cast<int64_t>(n);
        }
        i = end;
    }
    return true;
}

}  // namespace

bool BuildFile(TransferEngine& engine, const BlockIndex& index, const DeltaPlan& plan, DeltaBuild& build) {
    RandomAccessFile out;
    if (!out.Create(build.newFile) || !out.SetSize(index.fileSize)) {
        build.why = "cannot create " + build.newFile;
        return false;
    }
    bool fetched = false;
    bool copied = false;
    {
        RangeFetcher fetcher(engine, index, FetchRanges(index, plan, 8 << 20), out, build);
        fetcher.Start(build.connections);
        // The old copy is read on a helper thread while the ranges arrive.
        RunWhileProcessing(engine.Loop(), [&] {
            try {
                copied = CopyLocalBlocks(index, plan, build.oldFile, out, build.stopped);
            } catch (const std::exception&) {
            }
        });
        fetched = fetcher.Finish();
    }
    out.Close();
    if (!copied && build.why.empty()) build.why = "cannot copy the blocks of the old copy";
    const bool stopped = build.stopped && build.stopped();
    if (stopped) build.why = "stopped";
    return copied && fetched && !stopped;
}

}  // namespace tarvos
