#include "platform/EventLoop.hpp"

#include <exception>
#include <vector>

#include "platform/HandlerBoundary.hpp"
#include "platform/Terminate.hpp"

namespace tarvos {

struct Timer::State {
    int interval = 1000;
    bool enabled = false;
    std::function<void()> handler;
    // Position in the loop's schedule while enabled.
    std::multimap<std::chrono::steady_clock::time_point, std::shared_ptr<State>>::iterator slot;
};

// ---- Timer ----

Timer::Timer(EventLoop& loop, int intervalMs) : loop_(loop), state_(std::make_shared<State>()) {
    state_->interval = intervalMs;
}

Timer::Timer(int intervalMs) : Timer(MainLoop(), intervalMs) {}

Timer::~Timer() { SetEnabled(false); }

void Timer::SetEnabled(bool enabled) { loop_.Schedule(state_, enabled); }

bool Timer::Enabled() const {
    std::lock_guard lock(loop_.mutex_);
    return state_->enabled;
}

void Timer::SetInterval(int ms) {
    bool wasEnabled;
    {
        std::lock_guard lock(loop_.mutex_);
        state_->interval = ms;
        wasEnabled = state_->enabled;
    }
    if (wasEnabled) {
        loop_.Schedule(state_, false);
        loop_.Schedule(state_, true);
    }
}

int Timer::Interval() const {
    std::lock_guard lock(loop_.mutex_);
    return state_->interval;
}

void Timer::OnTimer(std::function<void()> handler) {
    std::lock_guard lock(loop_.mutex_);
    state_->handler = std::move(handler);
}

// ---- EventLoop ----

EventLoop::EventLoop() : owner_(std::this_thread::get_id()) { backend_ = MakeEventLoopBackend(*this); }

EventLoop::~EventLoop() {
    std::lock_guard lock(mutex_);
    for (auto& h : queue_) h->done = true;
    queue_.clear();
    handedOver_.notify_all();
    timers_.clear();
}

void EventLoop::Schedule(const std::shared_ptr<Timer::State>& s, bool enable) {
    {
        std::lock_guard lock(mutex_);
        if (s->enabled == enable) return;
        s->enabled = enable;
        if (enable)
            s->slot = timers_.emplace(Clock::now() + std::chrono::milliseconds(s->interval), s);
        else
            timers_.erase(s->slot);
    }
    // A timer enabled from a worker must shorten a wait already in progress.
    if (enable && !IsLoopThread()) Wake();
}

int EventLoop::NextTimeoutMs() {
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) return 0;
    if (timers_.empty()) return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(timers_.begin()->first - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(std::min<long long>(left, 24 * 3600 * 1000));
}

void EventLoop::RunHandOvers() {
    for (;;) {
        std::shared_ptr<HandOver> h;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) return;
            h = std::move(queue_.front());
            queue_.pop_front();
        }
        // The worker is released even when the hand-over throws.
        struct Release {
            EventLoop& loop;
            HandOver& h;
            ~Release() {
                std::lock_guard lock(loop.mutex_);
                h.done = true;
                loop.handedOver_.notify_all();
            }
        } release{*this, *h};
        RunHandler(h->fn);
    }
}

void EventLoop::RunDueTimers() {
    const auto now = Clock::now();
    // Each timer fires at most once per pass, so a handler that re-enables cannot loop.
    std::vector<std::shared_ptr<Timer::State>> due;
    {
        std::lock_guard lock(mutex_);
        while (!timers_.empty() && timers_.begin()->first <= now) {
            due.push_back(timers_.begin()->second);
            timers_.erase(timers_.begin());
        }
        // Put back after the pass: a timer of no interval is due again at once, and would
        // otherwise be taken again without end.
        for (auto& s : due) s->slot = timers_.emplace(now + std::chrono::milliseconds(s->interval), s);
    }
    for (auto& s : due) {
        std::function<void()> handler;
        {
            std::lock_guard lock(mutex_);
            if (!s->enabled) continue;  // disabled by an earlier handler of this pass
            handler = s->handler;
        }
        if (handler) RunHandler(handler);
    }
}

void EventLoop::RunQueued() {
    RunHandOvers();
    RunDueTimers();
}

void EventLoop::ProcessMessages() {
    backend_->DispatchPlatform();
    RunQueued();
}

void EventLoop::WaitAndProcess() { WaitAndProcessFor(-1); }

void EventLoop::WaitAndProcessFor(int timeoutMs) {
    int wait = NextTimeoutMs();
    if (timeoutMs >= 0 && (wait < 0 || wait > timeoutMs)) wait = timeoutMs;
    if (wait != 0) backend_->Wait(wait);
    ProcessMessages();
}

void EventLoop::Synchronize(const std::function<void()>& fn) {
    if (IsLoopThread()) {
        RunHandler(fn);
        return;
    }
    auto h = std::make_shared<HandOver>();
    h->fn = fn;
    std::unique_lock lock(mutex_);
    if (Terminated()) return;
    queue_.push_back(h);
    lock.unlock();
    backend_->Wake();
    lock.lock();
    handedOver_.wait(lock, [&] { return h->done || Terminated(); });
    // Terminating: a hand-over that never ran must not run later against a worker that
    // has moved on.
    if (!h->done) std::erase(queue_, h);
}

void EventLoop::Post(std::function<void()> fn) {
    auto h = std::make_shared<HandOver>();
    h->fn = std::move(fn);
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(h));
    }
    backend_->Wake();
}

void EventLoop::Wake() { backend_->Wake(); }

bool EventLoop::Terminated() const { return ApplicationTerminated(); }

void EventLoop::Terminate() {
    std::lock_guard lock(mutex_);
    SetApplicationTerminated(true);
    // Workers blocked in Synchronize must not wait for a loop that is going away.
    handedOver_.notify_all();
    backend_->Wake();
}

EventLoop& MainLoop() {
    static EventLoop loop;
    return loop;
}

void RunWhileProcessing(EventLoop& loop, const std::function<void()>& fn) {
    std::atomic<bool> done{false};
    std::exception_ptr error;
    std::thread helper([&] {
        try {
            fn();
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
        loop.Wake();
    });
    // Joined on every way out: a joinable thread left behind by an exception ends the process.
    struct Join {
        std::thread& t;
        std::atomic<bool>& done;
        EventLoop& loop;
        ~Join() {
            while (!done) loop.WaitAndProcessFor(100);
            t.join();
        }
    } join{helper, done, loop};
    while (!done) loop.WaitAndProcess();
    if (error) std::rethrow_exception(error);
}

}  // namespace tarvos
