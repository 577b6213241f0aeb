#include "transfer/DownloadMultiThread.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "platform/FileSystem.hpp"
#include "platform/HttpClient.hpp"
#include "platform/Text.hpp"

namespace tarvos {
namespace {

// How many bytes a piece may fetch before its count is written down: what a crash costs
// again at most, per piece.
constexpr int64_t kResumeRecordEvery = 256 << 10;

}  // namespace

int32_t PieceCount(int64_t size, int32_t threads) {
    if (size < 100000) return 1;
    if (size < 1000000) return std::min(threads, 2);
    return threads;
}

std::vector<std::pair<int64_t, int64_t>> PieceRanges(int64_t size, int32_t pieces) {
    // rint rounds halves to the even neighbour in the default rounding mode.
    const auto P = static_cast<int64_t>(std::rint(static_cast<double>(size) / pieces));
    std::vector<std::pair<int64_t, int64_t>> ranges;
    for (int32_t k = 1; k <= pieces; ++k) {
        int64_t start = (k - 1) * P;
        int64_t end = k < pieces ? k * P - 1 : size - 1;
        ranges.emplace_back(start, end);
    }
    return ranges;
}

// One piece of the download in progress. The engine's thread writes its bytes (and its
// resume count); the loop's thread reads the count for progress and decides, when the
// request has ended, whether it is whole, starts again, or failed.
struct TDownloadMultiThread::Piece {
    int32_t id = 0;  // 1-based, as the resume state's slots and the piece files are counted
    int64_t start = 0, end = 0;
    int64_t done = 0;  // bytes of the piece already in the target from an earlier attempt
    std::atomic<int64_t> written{0};  // bytes of the piece in place, from its start
    int64_t recorded = 0;             // the count last written into the resume state
    int32_t attempts = 0;
    bool checked = false;
    bool failed = false;
    RandomAccessFile pieceFile;
    std::string pieceFileName;

    int64_t Length() const { return end - start + 1; }
    bool Complete() const { return !failed && written == Length(); }
};

// ---- TDownloadMultiThread ----

TDownloadMultiThread::TDownloadMultiThread(EventLoop& loop, int progressMs, int watchdogMs)
    : loop_(loop), watchdogMs_(watchdogMs), engine_(std::make_unique<TransferEngine>(loop)), batch_(*engine_),
      Timer_(loop, progressMs) {
    Timer_.OnTimer([this] { TimerTimer(); });
}

TDownloadMultiThread::~TDownloadMultiThread() {
    batch_.CancelAll();
    for (auto& p : pieces_)
        if (!p->pieceFileName.empty()) {
            p->pieceFile.Close();
            DeleteFileUtf8(p->pieceFileName);
        }
}

void TDownloadMultiThread::SetThreads(int32_t threads) { _threads = std::clamp(threads, 1, kMaxPieces); }

std::vector<int64_t> TDownloadMultiThread::QuerySizes(const std::vector<std::string>& urls) {
    known_.clear();
    isStop = false;
    std::vector<int64_t> sizes(urls.size(), -1);
    // A few at a time over the kept connections: a long list is asked in a few round trips
    // without opening a connection per file.
    constexpr size_t kInFlight = 16;
    size_t next = 0;
    std::function<void()> startNext = [&] {
        if (next >= urls.size() || isStop) return;
        const size_t i = next++;
        TransferRequest r;
        r.url = urls[i];
        r.head = true;
        r.stallMs = watchdogMs_;
        r.done = [&, i](const TransferResult& result) {
            if (result.ok) {
                sizes[i] = result.contentLength;
                known_[urls[i]] = {result.contentLength, result.validator, false};
            } else if (result.unresponsive) {
                known_[urls[i]] = {-1, {}, true};
            }
            startNext();
        };
        batch_.Add(std::move(r));
    };
    for (size_t k = 0; k < kInFlight; ++k) startNext();
    batch_.Wait([this] { return isStop; });
    if (loop_.Terminated()) EndProcessNow(0);
    return sizes;
}

int64_t TDownloadMultiThread::QuerySize(const std::string& url, std::string& validator) {
    if (const auto it = known_.find(url); it != known_.end()) {
        const KnownSize known = it->second;
        known_.erase(it);
        validator = known.validator;
        unresponsive_ = known.unresponsive;
        return known.size;
    }
    TransferRequest r;
    r.url = url;
    r.head = true;
    r.stallMs = watchdogMs_;
    TransferResult answer;
    r.done = [&answer](const TransferResult& result) { answer = result; };
    batch_.Add(std::move(r));
    batch_.Wait([this] { return isStop; });
    if (loop_.Terminated()) EndProcessNow(0);
    unresponsive_ = answer.unresponsive;
    if (!answer.ok) return 0;
    validator = answer.validator;
    return answer.contentLength;
}

// Opens the target: as it is when an earlier attempt of this very download can go on
// (`done` then holds each piece's bytes), else created afresh at its full size.
bool TDownloadMultiThread::PrepareTarget(const std::string& url, const std::string& filename, int64_t size,
                                         const std::string& validator, std::vector<int64_t>& done) {
    done.clear();
    resuming_ = false;
    if (!ResumeKey.empty() && !ThreadUseFileStream)
        done = resume_.Open(filename, {ResumeKey, url, validator, size, PieceCount(size, _threads)}, resuming_);
    if (!done.empty()) {
        if (rcfile.Create(filename, false)) return true;
        done.clear();
    }
    if (!rcfile.Create(filename)) {
        writeError_ = LastSystemError();
        return false;
    }
    // Sizing the file leaves it reading as zeros without writing them.
    if (rcfile.SetSize(size)) return true;
    writeError_ = LastSystemError();
    rcfile.Close();
    DeleteFileUtf8(filename);
    return false;
}

bool TDownloadMultiThread::GetFile(const std::string& url, const std::string& filename) {
    // Not re-entrant: a download started from a handler that runs while another one waits
    // is refused, and the download in progress keeps its own outcome.
    if (running_) return false;
    if (loop_.Terminated()) EndProcessNow(0);
    HaveError = false;
    unresponsive_ = false;
    writeError_ = 0;
    isStop = false;
    // Whatever way GetFile is left, the requests end, the target closes (deleted unless it
    // is complete), the progress timer stops and the downloader can be used again.
    struct Run {
        TDownloadMultiThread& d;
        const std::string& filename;
        bool finished = true;
        ~Run() {
            if (!finished) {
                d.Stop();
                d.Finish(filename);
            }
            d.running_ = false;
        }
    } run{*this, filename};
    running_ = true;
    std::string validator;
    const int64_t size = QuerySize(url, validator);
    if (size <= 0) {
        HaveError = true;
        return false;
    }
    std::vector<int64_t> done;
    if (!PrepareTarget(url, filename, size, validator, done)) {
        resume_.Discard();
        HaveError = true;
        return false;
    }
    run.finished = false;
    CreatePieces(url, size, done);
    batch_.Wait([this] { return isStop; });
    run.finished = true;
    Finish(filename);
    if (loop_.Terminated()) EndProcessNow(0);
    return !HaveError;
}

void TDownloadMultiThread::CreatePieces(const std::string& url, int64_t size, const std::vector<int64_t>& done) {
    _status = {};
    url_ = url;
    size_ = size;
    smartthreads = PieceCount(size, _threads);
    pieces_.clear();
    int32_t k = 0;
    for (auto [start, end] : PieceRanges(size, smartthreads)) {
        ++k;
        auto p = std::make_unique<Piece>();
        p->id = k;
        p->start = start;
        p->end = end;
        p->done = done.empty() ? 0 : std::min(done[static_cast<size_t>(k - 1)], p->Length());
        _status[k - 1] = {false, p->done, p->Length()};
        pieces_.push_back(std::move(p));
    }
    Timer_.SetEnabled(true);
    count = 0;
    for (auto& p : pieces_) StartPiece(*p);
}

// Starts (or starts again) a piece from the first byte it lacks.
void TDownloadMultiThread::StartPiece(Piece& p) {
    ++p.attempts;
    p.written = p.done;
    p.checked = false;
    p.failed = false;
    if (p.done >= p.Length()) {
        // Whole from an earlier attempt: nothing to fetch.
        PieceDone(p, TransferResult{});
        return;
    }
    if (ThreadUseFileStream && p.pieceFileName.empty()) {
        p.pieceFileName = TmpFolder + "_part_" + std::to_string(p.id) + ".tmp";
        if (!p.pieceFile.Create(p.pieceFileName)) {
            p.failed = true;
            PieceDone(p, TransferResult{});
            return;
        }
    }
    TransferRequest r;
    r.url = url_;
    r.first = p.start + p.done;
    r.last = p.end;
    r.stallMs = watchdogMs_;
    r.body = [this, &p](const TransferResult& head, const char* data, size_t length) {
        return TakeBytes(p, head, data, length);
    };
    r.done = [this, &p](const TransferResult& result) { PieceDone(p, result); };
    batch_.Add(std::move(r));
}

// On the engine's thread: checks the response once, then puts the bytes in place.
bool TDownloadMultiThread::TakeBytes(Piece& p, const TransferResult& head, const char* data, size_t length) {
    if (!p.checked) {
        p.checked = true;
        const int64_t first = p.start + p.done;
        // A server may answer the whole file instead of a range; that is right only when
        // the range is the whole file.
        const bool right = head.status == 206 ? ContentRangeIs(head.contentRange, first, p.end, size_)
                                              : head.status == 200 && first == 0 && p.end == size_ - 1;
        if (!right) p.failed = true;
    }
    const auto n = static_cast<int64_t>(length);
    const int64_t written = p.written;
    if (p.failed || written + n > p.Length()) {
        p.failed = true;  // never write past the piece, whatever the server sends
        return false;
    }
    const bool ok = ThreadUseFileStream ? p.pieceFile.WriteAt(written, data, length)
                                        : rcfile.WriteAt(p.start + written, data, length);
    if (!ok) {
        writeError_ = LastSystemError();
        p.failed = true;
        return false;
    }
    p.written = written + n;
    // The count follows the bytes it counts: a process that dies between the two leaves a
    // count that is short, never one that is long.
    if (resuming_ && written + n - p.recorded >= kResumeRecordEvery) {
        resume_.Record(p.id - 1, written + n);
        p.recorded = written + n;
    }
    return true;
}

// On the loop's thread, once a piece's request has ended.
void TDownloadMultiThread::PieceDone(Piece& p, const TransferResult& r) {
    if (isStop) return;
    _status[p.id - 1].loaded = p.written;
    // Only a stall starts a piece again, from its first byte; any other failure ends it.
    if (r.unresponsive && !p.failed && p.attempts <= StallRestarts) {
        StartPiece(p);
        return;
    }
    if (r.unresponsive) unresponsive_ = true;
    if (!r.ok && !r.cancelled && p.done < p.Length()) p.failed = true;
    if (ThreadUseFileStream && p.Complete()) {
        p.pieceFile.Close();
        std::ifstream in(PathFromUtf8(p.pieceFileName), std::ios::binary);
        std::vector<char> buf(256 * 1024);
        int64_t offset = p.start;
        while (in) {
            in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
            const auto got = static_cast<size_t>(in.gcount());
            if (got == 0) break;
            if (!rcfile.WriteAt(offset, buf.data(), got)) break;
            offset += static_cast<int64_t>(got);
        }
        if (offset != p.end + 1) p.failed = true;
    }
    if (resuming_ && p.written != p.recorded) resume_.Record(p.id - 1, p.written);
    _status[p.id - 1].finished = true;
    // A piece that needed its fourth attempt counts as failed whatever it brought.
    if (p.attempts > 3 || !p.Complete()) HaveError = true;
    ++count;
}

void TDownloadMultiThread::Finish(const std::string& filename) {
    // No request writes into the target any more once the batch is cancelled.
    batch_.CancelAll();
    for (auto& p : pieces_)
        if (!p->pieceFileName.empty()) {
            p->pieceFile.Close();
            DeleteFileUtf8(p->pieceFileName);
        }
    rcfile.Close();
    TimerTimer();
    Timer_.SetEnabled(false);
    pieces_.clear();
    if (count < smartthreads) HaveError = true;  // a piece that never ended is not fetched
    if (isStop) HaveError = true;  // never report a stopped download as fetched
    if (!HaveError) {
        // Whole: kept with its state until the caller has put the file in place, so that a
        // run killed while it unpacks or installs finds it whole and fetches nothing again.
        resume_.Close();
    } else if (resuming_) {
        resume_.Close();  // kept with what has arrived, for the next attempt
    } else if (isStop) {
        DeleteFileUtf8(filename);
    }
    resuming_ = false;
}

void TDownloadMultiThread::Stop() {
    isStop = true;
    batch_.CancelAll();
    loop_.Wake();
}

void TDownloadMultiThread::TimerTimer() {
    for (const auto& p : pieces_) _status[p->id - 1].loaded = p->written;
    if (!OnProgress) return;
    int64_t loaded = 0, size = 0;
    for (const auto& st : _status) {
        loaded += st.loaded;
        size += st.size;
    }
    try {
        OnProgress(*this, loaded, size);
    } catch (...) {
        // A failing progress display must not end the download.
    }
}

}  // namespace tarvos
