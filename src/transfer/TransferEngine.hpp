#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/EventLoop.hpp"
#include "transfer/RateLimiter.hpp"

namespace tarvos {

// How long a request may go without a byte before it fails as stalled. Time a request is
// held back by the cap does not count.
inline constexpr int kStallLimitMs = 20000;

// The outcome of one request, and while its body arrives, what its head said.
struct TransferResult {
    int status = 0;
    int64_t contentLength = -1;  // as announced; -1 when the response has none
    std::string contentRange;
    std::string validator;  // ETag, else Last-Modified; empty when the server names neither
    std::string error;      // why it failed; empty when it did not
    bool ok = false;        // the whole body arrived with a successful status
    // The server did not connect, or went silent, within the limits: another server may
    // serve better.
    bool unresponsive = false;
    bool cancelled = false;
    int64_t received = 0;  // body bytes taken
};

struct TransferRequest {
    std::string url;
    bool head = false;
    int64_t first = -1, last = -1;  // an inclusive byte range; first < 0: the whole resource
    // Runs on the engine's thread for each part of the body, the head known; false ends the
    // request as failed. Never runs again once Cancel has returned.
    std::function<bool(const TransferResult& head, const char* data, size_t length)> body;
    // Runs on the loop's thread once, whatever the outcome (a cancelled request too).
    std::function<void(const TransferResult&)> done;
    int stallMs = kStallLimitMs;
};

// Every request of a run goes through one libcurl multi handle driven by one worker thread:
// connections are kept per server and shared by all requests, every request has a connect
// and a stall limit, one token bucket caps them all, and a cancel ends a request within a
// tenth of a second. The loop's thread only posts requests and receives their outcomes.
class TransferEngine {
public:
    using Id = uint64_t;

    explicit TransferEngine(EventLoop& loop);
    // Cancels what is left and ends the worker; outcomes not yet delivered are dropped.
    ~TransferEngine();
    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;

    Id Start(TransferRequest request);
    // Any thread. When it returns, the request's body sink runs no more; its done follows.
    void Cancel(Id id);
    RateLimiter& Limiter() { return limiter_; }
    EventLoop& Loop() { return loop_; }

    struct Control;
    struct Transfer;

private:
    void Run();
    void Work();
    void AddNew();
    void Launch(Transfer& t);
    void Ended(Transfer& t, int code);
    void Release(Transfer& t, bool keep);
    void Finish(Transfer& t, int code);
    int64_t PartSize() const;
    void NoteFirstByte(std::chrono::steady_clock::duration took);

    EventLoop& loop_;
    RateLimiter limiter_;
    void* multi_ = nullptr;
    std::mutex mutex_;
    std::deque<std::unique_ptr<Transfer>> incoming_;
    std::vector<Id> cancels_;
    std::map<Id, std::shared_ptr<Control>> controls_;
    std::map<Id, std::unique_ptr<Transfer>> active_;
    std::vector<void*> idle_;  // easy handles kept for the next requests
    int paced_ = 0;            // requests asked for in parts under the cap
    double firstByteSeconds_ = 0;  // how long a part's first byte takes, smoothed
    Id next_ = 0;
    std::atomic<bool> quit_{false};
    std::thread worker_;
};

// Requests whose outcomes the loop's thread waits for, processing its messages meanwhile.
// Ending the batch (or a stop) cancels what is left; outcomes that arrive after it are
// dropped, so a done handler never outlives the batch.
class TransferBatch {
public:
    explicit TransferBatch(TransferEngine& engine) : engine_(engine), state_(std::make_shared<State>()) {}
    ~TransferBatch() { CancelAll(); }
    TransferBatch(const TransferBatch&) = delete;
    TransferBatch& operator=(const TransferBatch&) = delete;

    TransferEngine::Id Add(TransferRequest request);
    // Returns when every request has its outcome, or at once (cancelling the rest) when
    // `stop` says so or the application terminates; false then.
    bool Wait(const std::function<bool()>& stop = {});
    void CancelAll();
    size_t Pending() const { return state_->pending.size(); }

private:
    struct State {
        std::vector<TransferEngine::Id> pending;
        bool alive = true;
    };
    TransferEngine& engine_;
    std::shared_ptr<State> state_;
};

}  // namespace tarvos
