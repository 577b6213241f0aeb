#pragma once
#include <atomic>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/EventLoop.hpp"
#include "platform/RandomAccessFile.hpp"
#include "transfer/TransferEngine.hpp"
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

struct TPieceStatus {
    bool finished = false;
    int64_t loaded = 0;
    int64_t size = 0;
};

// Fetches one file by up to ten parallel ranged requests, each a request of the transfer
// engine that writes its bytes into the target at their offsets as they arrive. GetFile
// blocks the calling (main) thread, processing its messages while the pieces arrive.
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
    // Caps every request of the engine together at this many bytes per second (0: no
    // cap). Callable at any time, also while a download runs, which follows it at once.
    void SetLimitRate(int64_t bytesPerSecond) { engine_->Limiter().SetRate(bytesPerSecond); }
    int64_t LimitRate() const { return engine_->Limiter().Rate(); }
    int32_t Threads() const { return _threads; }
    // How often progress is reported, and how long a piece may go without a byte.
    int ProgressIntervalMs() const { return Timer_.Interval(); }
    int WatchdogIntervalMs() const { return watchdogMs_; }
    // The engine every request of this downloader's run goes through.
    TransferEngine& Engine() { return *engine_; }
    // Fetches url into filename; the outcome is HaveError (and the result: true when the
    // file arrived whole). A call while another download of this object is in progress
    // (from a handler running while it waits) is refused with false and leaves that
    // download untouched.
    bool GetFile(const std::string& url, const std::string& filename);
    // Ends every request of the download or size query in progress within a tenth of a
    // second; the waiting call then returns.
    void Stop();
    bool Stopped() const { return isStop; }
    // Asks the sizes of files about to be fetched, before the first byte of any, so that an
    // owner can show the whole amount; the next GetFile of each URL takes its size from
    // here instead of asking again. Returns each size (-1: not known) in the given order.
    std::vector<int64_t> QuerySizes(const std::vector<std::string>& urls);
    // The last GetFile failed because its server did not connect or went silent within the
    // limits: another server is the better try.
    bool Unresponsive() const { return unresponsive_; }
    // The system error of the last failed write into the target of the last download (a
    // full disk among them), or 0.
    int WriteError() const { return writeError_; }

    // With a key (the content's expected digest), a download that was cut short, by a
    // failure, a stop or the death of the process, goes on from where its pieces stopped
    // when it is asked for again with the same key, URL, size and server validator; its
    // progress is kept beside the file. Without a key every download starts afresh.
    std::string ResumeKey;
    // How often a piece that stalled is started again from its first byte before the
    // download fails: 3 gives four attempts, and a piece that needed the fourth fails.
    int32_t StallRestarts = 3;

    TDownloadMultiThreadProgressEvent OnProgress;
    std::array<TPieceStatus, kMaxPieces> _status{};
    std::string TmpFolder;
    bool ThreadUseFileStream = false;
    bool HaveError = false;
    int32_t smartthreads = 0;

    struct Piece;

private:
    int64_t QuerySize(const std::string& url, std::string& validator);
    bool PrepareTarget(const std::string& url, const std::string& filename, int64_t size,
                       const std::string& validator, std::vector<int64_t>& done);
    void CreatePieces(const std::string& url, int64_t size, const std::vector<int64_t>& done);
    void StartPiece(Piece& p);
    bool TakeBytes(Piece& p, const TransferResult& head, const char* data, size_t length);
    void PieceDone(Piece& p, const TransferResult& r);
    void Finish(const std::string& filename);
    void TimerTimer();

    EventLoop& loop_;
    int watchdogMs_;
    int32_t _threads = 4;
    std::unique_ptr<TransferEngine> engine_;
    TransferBatch batch_;
    std::vector<std::unique_ptr<Piece>> pieces_;
    std::string url_;
    int64_t size_ = 0;
    RandomAccessFile rcfile;
    ResumeState resume_;
    struct KnownSize {
        int64_t size;
        std::string validator;
        bool unresponsive;  // the server did not answer within the limits: not asked again
    };
    std::map<std::string, KnownSize> known_;  // from QuerySizes, each used once
    bool resuming_ = false;  // a resume state is kept for the download in progress
    int32_t count = 0;
    bool isStop = false;
    bool running_ = false;
    bool unresponsive_ = false;
    std::atomic<int> writeError_{0};
    Timer Timer_;
};

}  // namespace tarvos
