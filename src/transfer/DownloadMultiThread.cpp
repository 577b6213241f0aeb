#include "transfer/DownloadMultiThread.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "platform/Text.hpp"

namespace tarvos {
namespace {

// Piece progress reaches the main thread at most this often: the owner shows progress
// every half second, so more hand-overs would only cost the main thread CPU.
constexpr auto kSetPosEvery = std::chrono::milliseconds(100);

// How many bytes a piece may fetch before its count is written down: what a crash costs
// again at most, per piece.
constexpr int64_t kResumeRecordEvery = 256 << 10;

// "bytes first-last/total" with total "*" or the size we expect.
bool ContentRangeIs(const std::string& value, int64_t first, int64_t last, int64_t total) {
    long long a = -1, b = -1;
    char totalText[32] = {};
    if (std::sscanf(value.c_str(), "bytes %lld-%lld/%31s", &a, &b, totalText) != 3) return false;
    if (a != first || b != last) return false;
    std::string t = totalText;
    return t == "*" || t == std::to_string(total);
}

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

// ---- TDownloadThread ----

TDownloadThread::TDownloadThread(int32_t id, std::string url, int64_t startpos, int64_t endpos, Target target,
                                 EventLoop& loop, int watchdogMs)
    : thread_id(id), _url(std::move(url)), _start(startpos), _end(endpos), target_(target), loop_(loop),
      Timer_(loop, watchdogMs) {
    Timer_.OnTimer([this] { WatchdogTick(); });
}

TDownloadThread::~TDownloadThread() {
    // No hand-over of this worker may run any more: the download it belonged to is over.
    OnComplete = nullptr;
    OnSetPos = nullptr;
    stopRequested_ = true;
    if (thread_.joinable()) {
        // Keep processing hand-overs while waiting, or a worker blocked in one never ends.
        // The disconnect is repeated because a request started after it clears the flag.
        while (!ended_) {
            IdHTTP.Disconnect();
            loop_.WaitAndProcessFor(100);
        }
        thread_.join();
    }
    Timer_.SetEnabled(false);
    if (UseFileStream) {
        pieceFile_.Close();
        DeleteFileUtf8(PieceFileName());
    }
}

void TDownloadThread::Start() { thread_ = std::thread([this] { Execute(); }); }

void TDownloadThread::Stop() {
    stopRequested_ = true;
    IdHTTP.Disconnect();
}

std::string TDownloadThread::PieceFileName() const { return TmpFolder + "_part_" + std::to_string(thread_id) + ".tmp"; }

void TDownloadThread::Execute() {
    // A thread's body must not let an exception out (the process would end): a piece that
    // fails unexpectedly is a failed piece.
    try {
        Run();
    } catch (...) {
        failed_ = true;
    }
    ended_ = true;
    loop_.Wake();
}

void TDownloadThread::Run() {
    if (target_.done >= Length()) {
        // Whole from an earlier attempt: nothing to fetch.
        written_ = Length();
        if (!loop_.Terminated() && !stopRequested_) HandOver(&TDownloadThread::OnComplete);
        return;
    }
    if (!stopRequested_ && (!UseFileStream || PreparePieceFile())) {
        IdHTTP.SetExtraHeader("Range: bytes=" + std::to_string(_start + target_.done) + "-" + std::to_string(_end));
        IdHTTP.SetProgress([this](int64_t received) { OnHttpProgress(received); });
        ErrorCount = -1;
        // Only a stall (the watchdog disarmed itself) repeats a piece; any other failure
        // ends it with the watchdog still armed.
        do {
            ++ErrorCount;
            RunAttempt();
        } while (!Timer_.Enabled() && ErrorCount <= 2 && !stopRequested_);
        Timer_.SetEnabled(false);
        if (UseFileStream && Complete()) CopyPieceFileToTarget();
        if (target_.resume && written_ != recorded_) target_.resume->Record(thread_id - 1, written_);
        if (!loop_.Terminated() && !stopRequested_) HandOver(&TDownloadThread::OnComplete);
    } else {
        failed_ = true;
        if (!loop_.Terminated() && !stopRequested_) HandOver(&TDownloadThread::OnComplete);
    }
}

void TDownloadThread::RunAttempt() {
    if (!Timer_.Enabled()) {
        _pos = target_.done;
        _old = target_.done;
        written_ = target_.done;
        checked_ = false;
        failed_ = false;
        Timer_.SetEnabled(true);
    }
    IdHTTP.Get(_url, [this](const char* d, size_t n) { return OnData(d, n); });
    // The last count of this attempt, whatever the throttle let through.
    if (!stopRequested_) HandOver(&TDownloadThread::OnSetPos);
}

void TDownloadThread::HandOver(const TDownloadCompleteEvent TDownloadThread::*event) {
    loop_.Synchronize([this, event] {
        if (this->*event) (this->*event)(*this);
    });
}

bool TDownloadThread::ResponseIsTheRange() const {
    const int64_t first = _start + target_.done;
    if (IdHTTP.Status() == 206) return ContentRangeIs(IdHTTP.ContentRange(), first, _end, target_.fileSize);
    // A server may answer the whole file instead of a range; that is right only when
    // the range is the whole file.
    return IdHTTP.Status() == 200 && first == 0 && _end == target_.fileSize - 1;
}

bool TDownloadThread::OnData(const char* data, size_t length) {
    if (!checked_) {
        checked_ = true;
        if (!ResponseIsTheRange()) failed_ = true;
    }
    if (failed_ || stopRequested_) return false;
    RateLimiter* limiter = target_.limiter;
    if (!limiter || limiter->Rate() <= 0) return Store(data, length);
    // Under a cap the bytes wait in slices, each counted once through: the watchdog and
    // the display see a piece move at the capped pace rather than stall.
    const auto cancelled = [this] { return stopRequested_ || IdHTTP.Disconnecting(); };
    while (length > 0) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(limiter->Slice(), static_cast<int64_t>(length)));
        if (!limiter->Take(static_cast<int64_t>(n), cancelled) || !Store(data, n)) return false;
        _pos = target_.done + written_;
        data += n;
        length -= n;
    }
    return true;
}

bool TDownloadThread::Store(const char* data, size_t length) {
    const auto n = static_cast<int64_t>(length);
    if (written_ + n > Length()) {
        failed_ = true;  // never write past the piece, whatever the server sends
        return false;
    }
    bool ok = UseFileStream ? pieceFile_.WriteAt(written_, data, length)
                            : target_.file->WriteAt(_start + written_, data, length);
    if (!ok) {
        failed_ = true;
        return false;
    }
    written_ += n;
    // The count follows the bytes it counts: a process that dies between the two leaves a
    // count that is short, never one that is long.
    if (target_.resume && written_ - recorded_ >= kResumeRecordEvery) {
        target_.resume->Record(thread_id - 1, written_);
        recorded_ = written_;
    }
    return true;
}

void TDownloadThread::OnHttpProgress(int64_t received) {
    _pos = target_.done + received;
    auto now = std::chrono::steady_clock::now();
    if (now - lastSetPos_ < kSetPosEvery) return;
    lastSetPos_ = now;
    HandOver(&TDownloadThread::OnSetPos);
}

void TDownloadThread::WatchdogTick() {
    int64_t pos = _pos;
    if (pos != _old) {
        _old = pos;
        return;
    }
    // Nothing arrived for a whole interval: drop the connection; the worker starts the
    // piece again from its first byte.
    IdHTTP.Disconnect();
    Timer_.SetEnabled(false);
}

bool TDownloadThread::PreparePieceFile() { return pieceFile_.Create(PieceFileName()); }

void TDownloadThread::CopyPieceFileToTarget() {
    pieceFile_.Close();
    std::ifstream in(PathFromUtf8(PieceFileName()), std::ios::binary);
    std::vector<char> buf(256 * 1024);
    int64_t offset = _start;
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        auto got = static_cast<size_t>(in.gcount());
        if (got == 0) break;
        if (!target_.file->WriteAt(offset, buf.data(), got)) {
            failed_ = true;
            return;
        }
        offset += static_cast<int64_t>(got);
    }
    if (offset != _end + 1) failed_ = true;
}

// ---- TDownloadMultiThread ----

TDownloadMultiThread::TDownloadMultiThread(EventLoop& loop, int progressMs, int watchdogMs)
    : loop_(loop), watchdogMs_(watchdogMs), Timer_(loop, progressMs) {
    Timer_.OnTimer([this] { TimerTimer(); });
}

TDownloadMultiThread::~TDownloadMultiThread() { list.clear(); }

void TDownloadMultiThread::SetThreads(int32_t threads) { _threads = std::clamp(threads, 1, kMaxPieces); }

std::vector<int64_t> TDownloadMultiThread::QuerySizes(const std::vector<std::string>& urls) {
    known_.clear();
    isStop = false;
    std::vector<int64_t> sizes;
    for (const auto& url : urls) {
        // A long list takes a while: the window stays live between the requests, and a
        // Stop from it ends the asking.
        loop_.ProcessMessages();
        HttpClient client;
        if (loop_.Terminated() || isStop || !client.Head(url)) {
            sizes.push_back(-1);
            continue;
        }
        sizes.push_back(client.ContentLength());
        known_[url] = {client.ContentLength(), client.Validator()};
    }
    return sizes;
}

int64_t TDownloadMultiThread::QuerySize(const std::string& url, std::string& validator) {
    if (const auto it = known_.find(url); it != known_.end()) {
        const KnownSize known = it->second;
        known_.erase(it);
        validator = known.validator;
        return known.size;
    }
    HttpClient client;
    if (!client.Head(url)) {
        HaveError = true;
        return 0;
    }
    validator = client.Validator();
    return client.ContentLength();
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
    if (!rcfile.Create(filename)) return false;
    // Sizing the file leaves it reading as zeros without writing them.
    if (rcfile.SetSize(size)) return true;
    rcfile.Close();
    DeleteFileUtf8(filename);
    return false;
}

bool TDownloadMultiThread::GetFile(const std::string& url, const std::string& filename) {
    // Not re-entrant: a download started from a handler that runs while another one waits
    // is refused, and the download in progress keeps its own outcome.
    if (running_) return false;
    HaveError = false;
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
    // Whatever way GetFile is left, the workers end, the target closes (deleted unless it
    // is complete), the progress timer stops and the downloader can be used again.
    struct Run {
        TDownloadMultiThread& d;
        const std::string& filename;
        bool finished = false;
        ~Run() {
            if (!finished) {
                d.Stop();
                d.Finish(filename);
            }
            d.running_ = false;
        }
    } run{*this, filename};
    running_ = true;
    CreateWorkers(url, size, done);
    WaitForPieces();
    run.finished = true;
    Finish(filename);
    if (loop_.Terminated()) EndProcessNow(0);
    return !HaveError;
}

void TDownloadMultiThread::CreateWorkers(const std::string& url, int64_t size, const std::vector<int64_t>& done) {
    _status = {};
    smartthreads = PieceCount(size, _threads);
    list.clear();
    int32_t k = 0;
    for (auto [start, end] : PieceRanges(size, smartthreads)) {
        ++k;
        const int64_t length = end - start + 1;
        const int64_t already = done.empty() ? 0 : std::min(done[static_cast<size_t>(k - 1)], length);
        const TDownloadThread::Target target{&rcfile, size, already, resuming_ ? &resume_ : nullptr, &limiter_};
        auto w = std::make_unique<TDownloadThread>(k, url, start, end, target, loop_, watchdogMs_);
        _status[k - 1] = {false, already, length};
        w->OnSetPos = [this](TDownloadThread& s) { OnSetPos(s); };
        w->OnComplete = [this](TDownloadThread& s) { OnComplete(s); };
        w->TmpFolder = TmpFolder;
        w->UseFileStream = ThreadUseFileStream;
        list.push_back(std::move(w));
    }
    Timer_.SetEnabled(true);
    count = 0;
    _allok = false;
    isStop = false;
    HaveError = false;
    for (auto& w : list) w->Start();
}

void TDownloadMultiThread::WaitForPieces() {
    while (!_allok && !isStop) {
        if (loop_.Terminated()) EndProcessNow(0);
        loop_.WaitAndProcess();
    }
}

void TDownloadMultiThread::Finish(const std::string& filename) {
    // The workers write into the target themselves, so they end before it closes. They
    // leave the list first: a Stop from a handler that runs while one is joined must not
    // walk a list being torn down.
    auto workers = std::move(list);
    list.clear();
    workers.clear();
    rcfile.Close();
    TimerTimer();
    Timer_.SetEnabled(false);
    if (isStop) HaveError = true;  // never report a stopped download as fetched
    if (!HaveError) {
        resume_.Discard();  // whole: nothing left to go on with
    } else if (resuming_) {
        resume_.Close();  // kept with what has arrived, for the next attempt
    } else if (isStop) {
        DeleteFileUtf8(filename);
    }
    resuming_ = false;
}

void TDownloadMultiThread::Stop() {
    for (auto& w : list) w->Stop();
    isStop = true;
    loop_.Wake();
}

void TDownloadMultiThread::OnSetPos(TDownloadThread& Sender) {
    auto& st = _status[Sender.thread_id - 1];
    st.loaded = Sender._pos;
    st.size = Sender.Length();
}

void TDownloadMultiThread::OnComplete(TDownloadThread& Sender) {
    _status[Sender.thread_id - 1].finished = true;
    if (Sender.ErrorCount > 2 || !Sender.Complete()) HaveError = true;
    if (++count == smartthreads) {
        if (loop_.Terminated()) EndProcessNow(0);
        _allok = true;
    }
}

void TDownloadMultiThread::TimerTimer() {
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
