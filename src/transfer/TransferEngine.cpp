#include "transfer/TransferEngine.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>

#include "platform/HandlerBoundary.hpp"
#include "platform/HttpClient.hpp"

namespace tarvos {

namespace {

using Clock = std::chrono::steady_clock;

// The worker looks at cancels, stalls and the cap at least this often.
constexpr int kTickMs = 50;

}  // namespace

// What the loop's thread and the worker share of one request: a cancel takes the lock, so
// once it has returned no body sink of that request runs any more.
struct TransferEngine::Control {
    std::mutex mutex;
    bool cancelled = false;
};

struct TransferEngine::Transfer {
    Id id = 0;
    TransferRequest request;
    TransferResult result;
    HttpHead head;
    std::shared_ptr<Control> control;
    TransferEngine* engine = nullptr;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::string url;
    Clock::time_point lastByte;
    bool paused = false;
    bool stalled = false;
    bool sinkFailed = false;

    static size_t OnHeader(char* data, size_t size, size_t n, void* self) {
        return CallbackBoundary<size_t>(0, [&]() -> size_t {
            auto& t = *static_cast<Transfer*>(self);
            t.head.Take(data, size * n);
            t.lastByte = Clock::now();
            return size * n;
        });
    }

    static size_t OnBody(char* data, size_t size, size_t n, void* self) {
        // A library callback: nothing may unwind through curl's frames.
        return CallbackBoundary<size_t>(0, [&]() -> size_t {
            auto& t = *static_cast<Transfer*>(self);
            const size_t length = size * n;
            RateLimiter& limiter = t.engine->limiter_;
            if (limiter.WaitNs() > 0) {
                // Out of tokens: curl keeps these bytes and offers them again once the
                // worker resumes the request; the wait is not a stall.
                t.paused = true;
                return CURL_WRITEFUNC_PAUSE;
            }
            limiter.Charge(static_cast<int64_t>(length));
            t.lastByte = Clock::now();
            if (t.result.received == 0 && t.result.status == 0) t.TakeHead();
            {
                std::lock_guard lock(t.control->mutex);
                if (t.control->cancelled) return 0;
                if (t.request.body && !t.request.body(t.result, data, length)) {
                    t.sinkFailed = true;
                    return 0;
                }
            }
            t.result.received += static_cast<int64_t>(length);
            return length;
        });
    }

    void TakeHead() {
        result.status = head.status;
        result.contentLength = head.contentLength;
        result.contentRange = head.contentRange;
        result.validator = head.Validator();
    }
};

TransferEngine::TransferEngine(EventLoop& loop) : loop_(loop) {
    InitCurl();
    multi_ = curl_multi_init();
    worker_ = std::thread([this] { Run(); });
}

TransferEngine::~TransferEngine() {
    {
        std::lock_guard lock(mutex_);
        for (auto& [id, control] : controls_) {
            std::lock_guard held(control->mutex);
            control->cancelled = true;
        }
    }
    quit_ = true;
    curl_multi_wakeup(multi_);
    worker_.join();
    for (auto& [id, t] : active_) {
        curl_multi_remove_handle(multi_, t->easy);
        curl_easy_cleanup(t->easy);
        curl_slist_free_all(t->headers);
    }
    for (void* easy : idle_) curl_easy_cleanup(easy);
    curl_multi_cleanup(multi_);
}

TransferEngine::Id TransferEngine::Start(TransferRequest request) {
    auto t = std::make_unique<Transfer>();
    t->request = std::move(request);
    t->control = std::make_shared<Control>();
    t->engine = this;
    Id id;
    {
        std::lock_guard lock(mutex_);
        id = ++next_;
        t->id = id;
        controls_[id] = t->control;
        incoming_.push_back(std::move(t));
    }
    curl_multi_wakeup(multi_);
    return id;
}

void TransferEngine::Cancel(Id id) {
    std::shared_ptr<Control> control;
    {
        std::lock_guard lock(mutex_);
        const auto it = controls_.find(id);
        if (it == controls_.end()) return;
        control = it->second;
        cancels_.push_back(id);
    }
    {
        std::lock_guard held(control->mutex);
        control->cancelled = true;
    }
    curl_multi_wakeup(multi_);
}

void TransferEngine::Run() {
    // A thread procedure: nothing may leave it. A worker that failed cannot serve, so the
    // requests still waiting fail rather than hang.
    try {
        Work();
    } catch (...) {
        ReportCurrentException();
    }
}

void TransferEngine::AddNew() {
    std::deque<std::unique_ptr<Transfer>> incoming;
    std::vector<Id> cancels;
    {
        std::lock_guard lock(mutex_);
        incoming.swap(incoming_);
        cancels.swap(cancels_);
    }
    for (auto& t : incoming) {
        Transfer& r = *t;
        const Id id = r.id;
        active_[id] = std::move(t);
        if (!idle_.empty()) {
            r.easy = idle_.back();
            idle_.pop_back();
            curl_easy_reset(r.easy);
        } else {
            r.easy = curl_easy_init();
        }
        if (r.request.first >= 0) {
            const std::string range = "Range: bytes=" + std::to_string(r.request.first) + "-" +
                                      (r.request.last >= 0 ? std::to_string(r.request.last) : std::string());
            r.headers = curl_slist_append(nullptr, range.c_str());
        }
        r.url = NormalizeUrl(r.request.url);
        SetUpCurlRequest(r.easy, r.url, r.request.head, r.headers);
        // Under a cap each part of the body is a slice of it, so a low cap moves smoothly.
        const int64_t slice = std::clamp<int64_t>(limiter_.Slice(), 1024, 256 * 1024);
        curl_easy_setopt(r.easy, CURLOPT_BUFFERSIZE, static_cast<long>(slice));
        FitConnection(r.easy, limiter_.Rate() > 0 ? slice : 0);
        curl_easy_setopt(r.easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
        curl_easy_setopt(r.easy, CURLOPT_HEADERDATA, &r);
        curl_easy_setopt(r.easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
        curl_easy_setopt(r.easy, CURLOPT_WRITEDATA, &r);
        curl_easy_setopt(r.easy, CURLOPT_PRIVATE, &r);
        r.lastByte = Clock::now();
        if (curl_multi_add_handle(multi_, r.easy) != CURLM_OK) Finish(r, CURLE_FAILED_INIT);
    }
    for (Id id : cancels) {
        const auto it = active_.find(id);
        if (it != active_.end()) Finish(*it->second, CURLE_ABORTED_BY_CALLBACK);
    }
}

void TransferEngine::Finish(Transfer& t, int code) {
    curl_multi_remove_handle(multi_, t.easy);
    TransferResult& r = t.result;
    if (r.status == 0) t.TakeHead();
    long status = 0;
    curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
    if (status != 0) r.status = static_cast<int>(status);
    if (t.request.head && code == CURLE_OK) {
        curl_off_t length = -1;
        curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        r.contentLength = length;
    }
    {
        std::lock_guard held(t.control->mutex);
        r.cancelled = t.control->cancelled;
    }
    r.unresponsive = t.stalled || code == CURLE_OPERATION_TIMEDOUT;
    r.ok = code == CURLE_OK && !t.sinkFailed && !r.cancelled;
    if (r.cancelled)
        r.error = "stopped";
    else if (t.stalled)
        r.error = "no byte for " + std::to_string(t.request.stallMs / 1000) + " s";
    else if (t.sinkFailed)
        r.error = "refused by the receiver";
    else if (code != CURLE_OK)
        r.error = curl_easy_strerror(static_cast<CURLcode>(code));
    // Only a handle that ended cleanly keeps a connection worth reusing with it.
    if (code == CURLE_OK && idle_.size() < 64)
        idle_.push_back(t.easy);
    else
        curl_easy_cleanup(t.easy);
    curl_slist_free_all(t.headers);
    auto done = std::move(t.request.done);
    TransferResult result = std::move(r);
    const Id id = t.id;
    {
        std::lock_guard lock(mutex_);
        controls_.erase(id);
    }
    active_.erase(id);  // t is gone from here on
    if (done) loop_.Post([done = std::move(done), result = std::move(result)] { done(result); });
}

// Under a cap a connection's receive window is a slice of it: the line then carries about
// what the cap lets through, where the system's buffers would take whole small files or
// ranges at once. A request that may take more than such a connection allows (the cap
// raised or lifted) is not given one: it opens its own.
void TransferEngine::FitConnection(void* easy, int64_t window) {
    const auto now = Clock::now();
    long fresh = 0, lifetime = 0;
    if (smallWindow_ > 0 && (window == 0 || window > smallWindow_)) {
        const auto since = std::chrono::duration_cast<std::chrono::seconds>(now - smallWindowAt_).count();
        if (since < 2)
            fresh = 1;
        else
            lifetime = static_cast<long>(since - 1);  // only connections opened since then
    }
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, fresh);
    curl_easy_setopt(easy, CURLOPT_MAXLIFETIME_CONN, lifetime);
    LimitReceiveWindow(easy, static_cast<int>(window));
    if (window > 0) {
        smallWindow_ = window;
        smallWindowAt_ = now;
    }
}

void TransferEngine::Work() {
    while (!quit_) {
        AddNew();
        int running = 0;
        curl_multi_perform(multi_, &running);
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
            if (msg->msg != CURLMSG_DONE) continue;
            Transfer* t = nullptr;
            curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &t);
            if (t) Finish(*t, msg->data.result);
        }
        // Requests held by the cap go on once it lends again; a request is stalled only
        // while it is not held.
        const auto now = Clock::now();
        const bool lending = limiter_.WaitNs() == 0;
        std::vector<Transfer*> stalled;
        for (auto& [id, t] : active_) {
            if (t->paused) {
                if (lending) {
                    t->paused = false;
                    t->lastByte = now;
                    curl_easy_pause(t->easy, CURLPAUSE_CONT);
                }
            } else if (now - t->lastByte > std::chrono::milliseconds(t->request.stallMs)) {
                stalled.push_back(t.get());
            }
        }
        for (Transfer* t : stalled) {
            t->stalled = true;
            Finish(*t, CURLE_OPERATION_TIMEDOUT);
        }
        // Idle, the worker sleeps until a request comes (Start wakes it).
        int wait = active_.empty() ? 1000 : kTickMs;
        const int64_t lend = limiter_.WaitNs();
        if (lend > 0) wait = std::clamp<int>(static_cast<int>(lend / 1000000), 1, kTickMs);
        curl_multi_poll(multi_, nullptr, 0, wait, nullptr);
    }
}

TransferEngine::Id TransferBatch::Add(TransferRequest request) {
    auto state = state_;
    auto done = std::move(request.done);
    auto id = std::make_shared<TransferEngine::Id>(0);
    request.done = [state, done = std::move(done), id](const TransferResult& r) {
        std::erase(state->pending, *id);
        if (state->alive && done) done(r);
    };
    *id = engine_.Start(std::move(request));
    state_->pending.push_back(*id);
    return *id;
}

bool TransferBatch::Wait(const std::function<bool()>& stop) {
    EventLoop& loop = engine_.Loop();
    while (!state_->pending.empty()) {
        if (loop.Terminated() || (stop && stop())) {
            CancelAll();
            return false;
        }
        loop.WaitAndProcessFor(100);
    }
    return true;
}

void TransferBatch::CancelAll() {
    state_->alive = false;
    for (TransferEngine::Id id : state_->pending) engine_.Cancel(id);
    state_->pending.clear();
    // A batch may be used again after a cancel: its new requests are of a new state.
    state_ = std::make_shared<State>();
}

}  // namespace tarvos
