#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/EventLoop.hpp"
#include "platform/HttpClient.hpp"
#include "platform/RandomAccessFile.hpp"
#include "transfer/RateLimiter.hpp"
#include "transfer/ResumeState.hpp"

namespace tarvos {

inline constexpr int kMaxPieces = 10;
inline constexpr int kWatchdogIntervalMs = 20000;
inline constexpr int kProgressIntervalMs = 500;

// How many pieces a file of this size is split into with the configured thread count.
int32_t PieceCount(int64_t size, int32_t threads);
// The inclusive byte ranges of the pieces: equal lengths (rounded half to even) with the
// last piece ending at the file's last byte.
std::vector<std::pair<int64_t, int64_t>> PieceRanges(int64_t size, int32_t pieces);

// One piece of a download: fetches bytes _start.._end of _url on its own thread and
// connection, writing them into the target at their offsets as they arrive.
class TDownloadThread {
public:
    using TDownloadCompleteEvent = std::function<void(TDownloadThread& Sender)>;

    // Where the piece's bytes go and how the response is judged.
    struct Target {
        RandomAccessFile* file = nullptr;
        int64_t fileSize = 0;  // from HEAD; a response for another size is not this file
        int64_t done = 0;      // bytes of the piece already in the file from an earlier attempt
        ResumeState* resume = nullptr;  // where the piece's progress is kept; none without
        RateLimiter* limiter = nullptr;  // the cap shared by all pieces; none: uncapped
    };

    TDownloadThread(int32_t id, std::string url, int64_t startpos, int64_t endpos, Target target,
                    EventLoop& loop, int watchdogMs = kWatchdogIntervalMs);
    ~TDownloadThread();
    TDownloadThread(const TDownloadThread&) = delete;
    TDownloadThread& operator=(const TDownloadThread&) = delete;

    // Starts the thread (it is created suspended); a piece already whole completes at once.
    void Start();
    // Disconnects the piece's connection; callable while the worker is blocked in a request.
    void Stop();

    int64_t Length() const { return _end - _start + 1; }
    // The last attempt delivered exactly the requested range.
    bool Complete() const { return !failed_ && written_ == Length(); }

    int32_t thread_id;
    TDownloadCompleteEvent OnSetPos;
    TDownloadCompleteEvent OnComplete;
    std::string TmpFolder;
    bool UseFileStream = false;
    int32_t ErrorCount = 0;
    std::string _url;
    int64_t _start;
    int64_t _end;
    std::atomic<int64_t> _pos{0};
    std::atomic<int64_t> _old{0};

private:
    void Execute();
    void Run();
    void RunAttempt();
    bool OnData(const char* data, size_t length);
    bool Store(const char* data, size_t length);
    bool ResponseIsTheRange() const;
    void OnHttpProgress(int64_t received);
    void WatchdogTick();
    void HandOver(const TDownloadCompleteEvent TDownloadThread::*event);
    bool PreparePieceFile();
    void CopyPieceFileToTarget();
    std::string PieceFileName() const;

    Target target_;
    EventLoop& loop_;
    HttpClient IdHTTP;
    Timer Timer_;
    RandomAccessFile pieceFile_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> ended_{false};
    // Per attempt, touched only by the worker until it has ended.
    int64_t written_ = 0;
    int64_t recorded_ = 0;  // the count last written into the resume state
    bool checked_ = false;
    bool failed_ = false;
    std::chrono::steady_clock::time_point lastSetPos_{};
};

struct TPieceStatus {
    bool finished = false;
    int64_t loaded = 0;
    int64_t size = 0;
};

// Fetches one file by up to ten parallel ranged requests. GetFile blocks the calling (main)
// thread, processing its messages while the pieces arrive.
class TDownloadMultiThread {
public:
    using TDownloadMultiThreadProgressEvent =
        std::function<void(TDownloadMultiThread& Sender, int64_t loaded, int64_t size)>;

    explicit TDownloadMultiThread(EventLoop& loop = MainLoop(), int progressMs = kProgressIntervalMs,
                                  int watchdogMs = kWatchdogIntervalMs);
    ~TDownloadMultiThread();
    TDownloadMultiThread(const TDownloadMultiThread&) = delete;
    TDownloadMultiThread& operator=(const TDownloadMultiThread&) = delete;

    void SetThreads(int32_t threads);
    // Caps all connections of every download together at this many bytes per second (0:
    // no cap). Callable at any time, also while a download runs, which follows it at once.
    void SetLimitRate(int64_t bytesPerSecond) { limiter_.SetRate(bytesPerSecond); }
    int64_t LimitRate() const { return limiter_.Rate(); }
    int32_t Threads() const { return _threads; }
    // How often progress is reported, and how long a piece may go without a byte.
    int ProgressIntervalMs() const { return Timer_.Interval(); }
    int WatchdogIntervalMs() const { return watchdogMs_; }
    // Fetches url into filename; the outcome is HaveError (and the result: true when the
    // file arrived whole). A call while another download of this object is in progress
    // (from a handler running while it waits) is refused with false and leaves that
    // download untouched.
    bool GetFile(const std::string& url, const std::string& filename);
    void Stop();
    // Asks the sizes of files about to be fetched, before the first byte of any, so that an
    // owner can show the whole amount; the next GetFile of each URL takes its size from
    // here instead of asking again. Returns each size (-1: not known) in the given order.
    std::vector<int64_t> QuerySizes(const std::vector<std::string>& urls);

    // With a key (the content's expected digest), a download that was cut short, by a
    // failure, a stop or the death of the process, goes on from where its pieces stopped
    // when it is asked for again with the same key, URL, size and server validator; its
    // progress is kept beside the file. Without a key every download starts afresh.
    std::string ResumeKey;

    TDownloadMultiThreadProgressEvent OnProgress;
    std::array<TPieceStatus, kMaxPieces> _status{};
    std::string TmpFolder;
    bool ThreadUseFileStream = false;
    bool HaveError = false;
    int32_t smartthreads = 0;

private:
    int64_t QuerySize(const std::string& url, std::string& validator);
    bool PrepareTarget(const std::string& url, const std::string& filename, int64_t size,
                       const std::string& validator, std::vector<int64_t>& done);
    void CreateWorkers(const std::string& url, int64_t size, const std::vector<int64_t>& done);
    void WaitForPieces();
    void Finish(const std::string& filename);
    void OnSetPos(TDownloadThread& Sender);
    void OnComplete(TDownloadThread& Sender);
    void TimerTimer();

    EventLoop& loop_;
    int watchdogMs_;
    int32_t _threads = 4;
    std::vector<std::unique_ptr<TDownloadThread>> list;
    RandomAccessFile rcfile;
    ResumeState resume_;
    RateLimiter limiter_;
    struct KnownSize {
        int64_t size;
        std::string validator;
    };
    std::map<std::string, KnownSize> known_;  // from QuerySizes, each used once
    bool resuming_ = false;  // a resume state is kept for the download in progress
    int32_t count = 0;
    bool _allok = false;
    bool isStop = false;
    bool running_ = false;
    Timer Timer_;
};

}  // namespace tarvos
