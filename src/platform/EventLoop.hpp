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
#include <thread>

namespace tarvos {

class EventLoopBackend;
class EventLoop;

// A timer whose handler runs on the thread of its event loop. Enabling and disabling
// may come from any thread (the download watchdog is armed by its worker); the handler
// itself only ever runs on the loop's thread.
class Timer {
public:
    explicit Timer(EventLoop& loop, int intervalMs = 1000);
    explicit Timer(int intervalMs = 1000);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void SetEnabled(bool enabled);
    bool Enabled() const;
    // Changing the interval of a running timer starts its period anew.
    void SetInterval(int ms);
    int Interval() const;
    void OnTimer(std::function<void()> handler);

    struct State;

private:
    EventLoop& loop_;
    std::shared_ptr<State> state_;
};

// The main thread's message processing: hand-overs from workers, timers and (on Windows)
// window messages. Waiting blocks in the platform's wait primitive; nothing spins.
// Every hand-over and timer handler runs inside the handler boundary (HandlerBoundary.hpp):
// an error escaping it is reported, that handler is abandoned and the loop goes on, so
// nothing a handler throws ever leaves ProcessMessages or WaitAndProcess.
class EventLoop {
public:
    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Runs everything that is pending now and returns.
    void ProcessMessages();
    // Blocks until something arrives (a hand-over, a due timer, a window message or a
    // Wake), then runs what is pending.
    void WaitAndProcess();
    // Like WaitAndProcess, but returns after at most timeoutMs even when nothing came.
    void WaitAndProcessFor(int timeoutMs);
    // Called by a worker: runs fn on the loop's thread and returns when it has run or failed
    // (the worker is released whatever fn did). On the loop's own thread fn runs at once.
    // Skipped (fn does not run) once terminating.
    void Synchronize(const std::function<void()>& fn);
    // Queues fn to run on the loop's thread without waiting for it.
    void Post(std::function<void()> fn);
    // Makes a waiting WaitAndProcess return; callable from any thread.
    void Wake();

    // The application-wide terminate flag; Terminate also releases blocked workers.
    bool Terminated() const;
    void Terminate();

    bool IsLoopThread() const { return std::this_thread::get_id() == owner_; }
    // Runs queued hand-overs and due timers; the platform backend calls it from inside
    // modal loops it does not own (window procedures).
    void RunQueued();

private:
    friend class Timer;
    using Clock = std::chrono::steady_clock;
    struct HandOver {
        std::function<void()> fn;
        bool done = false;
    };

    void RunHandOvers();
    void RunDueTimers();
    // Milliseconds until the next timer is due, or -1 when no timer runs.
    int NextTimeoutMs();
    void Schedule(const std::shared_ptr<Timer::State>& s, bool enable);

    std::thread::id owner_;
    std::unique_ptr<EventLoopBackend> backend_;
    mutable std::mutex mutex_;
    std::condition_variable handedOver_;
    std::deque<std::shared_ptr<HandOver>> queue_;
    std::multimap<Clock::time_point, std::shared_ptr<Timer::State>> timers_;
};

// The process's main loop; its thread is the one that first asks for it.
EventLoop& MainLoop();

// Runs fn on a helper thread while the calling loop keeps processing messages, and returns
// when fn has returned. Lets a long blocking call (a HEAD probe) keep the window alive.
void RunWhileProcessing(EventLoop& loop, const std::function<void()>& fn);

// Ends the process at once with a normal exit; used when the application is asked to
// terminate while a long operation waits.
[[noreturn]] void EndProcessNow(int code = 0);

// ---- platform backend (platform/posix, platform/win32) ----
class EventLoopBackend {
public:
    virtual ~EventLoopBackend() = default;
    // Blocks up to timeoutMs (-1: no limit) until Wake or, on Windows, a window message.
    virtual void Wait(int timeoutMs) = 0;
    // Any thread.
    virtual void Wake() = 0;
    // Dispatches pending platform messages (window messages on Windows).
    virtual void DispatchPlatform() = 0;
};
std::unique_ptr<EventLoopBackend> MakeEventLoopBackend(EventLoop& loop);

}  // namespace tarvos
