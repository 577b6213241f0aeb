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
    CURL* easy = nullptr;  // none while a paced request waits for the cap
    curl_slist* headers = nullptr;
    std::string url;
    Clock::time_point lastByte, launched;
    bool paused = false;
    bool stalled = false;
    bool sinkFailed = false;
    // Under a cap the body is asked for in parts, each only once the cap has lent for it:
    // the server then sends nothing the cap has not allowed, whatever the buffers on the
    // way would otherwise take ahead of the launcher.
    bool paced = false;
    bool began = false;      // the first part told the size; later parts must continue it
    bool partWrong = false;  // a part did not continue the parts before it
    bool unrangeable = false;  // the first part came back as a range that cannot be continued
    int64_t at = 0;          // the next byte to ask for
    int64_t end = -1;        // the last byte wanted; -1 until the first part tells the size
    int64_t total = -1;
    int64_t prepaid = 0;  // what the part in flight was charged to the cap when asked
    int64_t partReceived = 0;

    static size_t OnHeader(char* data, size_t size, size_t n, void* self) {
        return CallbackBoundary<size_t>(0, [&]() -> size_t {
            auto& t = *static_cast<Transfer*>(self);
            t.head.Take(data, size * n);
            // A head crosses the line as a body does: with many small files its bytes add
            // up to a share of the cap.
            t.engine->limiter_.Charge(static_cast<int64_t>(size * n));
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
            if (t.partReceived == 0 && t.paced) {
                t.engine->NoteFirstByte(Clock::now() - t.launched);
                if (!t.TakePart()) {
                    (t.began ? t.partWrong : t.unrangeable) = true;
                    return 0;
                }
            }
            if (t.paced && t.prepaid > 0 && t.partReceived + static_cast<int64_t>(length) > t.prepaid) {
                t.partWrong = true;  // more than the part asked for: not the bytes it named
                return 0;
            }
            if (!t.paced) {
                if (limiter.WaitNs() > 0) {
                    // Out of tokens: curl keeps these bytes and offers them again once the
                    // worker resumes the request; the wait is not a stall.
                    t.paused = true;
                    return CURL_WRITEFUNC_PAUSE;
                }
                limiter.Charge(static_cast<int64_t>(length));
                if (t.result.received == 0 && t.result.status == 0) t.TakeHead();
            }
            t.lastByte = Clock::now();
            {
                std::lock_guard lock(t.control->mutex);
                if (t.control->cancelled) return 0;
                if (t.request.body && !t.request.body(t.result, data, length)) {
                    t.sinkFailed = true;
                    return 0;
                }
            }
            t.result.received += static_cast<int64_t>(length);
            t.partReceived += static_cast<int64_t>(length);
            return length;
        });
    }

    void TakeHead() {
        result.status = head.status;
        result.contentLength = head.contentLength;
        result.contentRange = head.contentRange;
        result.validator = head.Validator();
    }

    // The head of a part, before its first byte. The first part's answer stands for the
    // whole request's head; a later one must be the next bytes of the same version.
    bool TakePart() {
        const auto range = ParseContentRange(head.contentRange);
        if (began)
            return head.status == 206 && range && range->first == at && range->total == total &&
                   head.Validator() == result.validator;
        if (head.status != 206) {
            // The whole resource from a server that ignores ranges: taken as it comes,
            // under the cap as any unpaced body.
            paced = false;
            engine->limiter_.Charge(-prepaid);
            prepaid = 0;
            TakeHead();
            return true;
        }
        if (!range || range->first != at || range->last < at || range->last >= range->total) return false;
        began = true;
        total = range->total;
        end = end < 0 ? total - 1 : std::min(end, total - 1);
        const int64_t first = std::max<int64_t>(request.first, 0);
        result.contentLength = end - first + 1;
        result.validator = head.Validator();
        if (request.first < 0) {
            result.status = 200;
            result.contentRange.clear();
        } else {
            result.status = 206;
            result.contentRange =
                "bytes " + std::to_string(first) + "-" + std::to_string(end) + "/" + std::to_string(total);
        }
        return true;
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
        if (t->easy) {
            curl_multi_remove_handle(multi_, t->easy);
            curl_easy_cleanup(t->easy);
        }
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
        active_[r.id] = std::move(t);
        if (limiter_.Rate() > 0 && !r.request.head) {
            r.paced = true;
            r.at = std::max<int64_t>(r.request.first, 0);
            r.end = r.request.last;
        } else {
            Launch(r);
        }
    }
    for (Id id : cancels) {
        const auto it = active_.find(id);
        if (it != active_.end()) Finish(*it->second, CURLE_ABORTED_BY_CALLBACK);
    }
}

void TransferEngine::Launch(Transfer& r) {
    if (!idle_.empty()) {
        r.easy = idle_.back();
        idle_.pop_back();
        curl_easy_reset(r.easy);
    } else {
        r.easy = curl_easy_init();
    }
    int64_t first = r.request.first, last = r.request.last;
    if (r.paced) {
        first = r.at;
        const int64_t part = PartSize();
        if (part > 0)
            last = r.end >= 0 ? std::min(r.end, first + part - 1) : first + part - 1;
        else
            last = r.end;
        // Paid for when asked: the bytes then come as fast as the line brings them.
        r.prepaid = last >= 0 ? last - first + 1 : 0;
        limiter_.Charge(r.prepaid);
        // A later part only of the version the first one was of. If-Range surely takes
        // only a strong ETag; any other validator is compared when the part's head comes.
        if (r.began && r.result.validator.starts_with('"'))
            r.headers = curl_slist_append(r.headers, ("If-Range: " + r.result.validator).c_str());
    }
    if (first >= 0) {
        const std::string range =
            "Range: bytes=" + std::to_string(first) + "-" + (last >= 0 ? std::to_string(last) : std::string());
        r.headers = curl_slist_append(r.headers, range.c_str());
    }
    r.partReceived = 0;
    r.url = NormalizeUrl(r.request.url);
    SetUpCurlRequest(r.easy, r.url, r.request.head, r.headers);
    // Under a cap an unpaced body comes in slices of it, so a low cap moves smoothly.
    const int64_t slice = std::clamp<int64_t>(limiter_.Slice(), 1024, 256 * 1024);
    curl_easy_setopt(r.easy, CURLOPT_BUFFERSIZE, static_cast<long>(slice));
    curl_easy_setopt(r.easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    curl_easy_setopt(r.easy, CURLOPT_HEADERDATA, &r);
    curl_easy_setopt(r.easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    curl_easy_setopt(r.easy, CURLOPT_WRITEDATA, &r);
    curl_easy_setopt(r.easy, CURLOPT_PRIVATE, &r);
    r.lastByte = r.launched = Clock::now();
    if (curl_multi_add_handle(multi_, r.easy) != CURLM_OK) Finish(r, CURLE_FAILED_INIT);
}

// A part is a slice of the cap, larger when answers are slow to come: the parts in flight,
// one per paced request, must carry the cap through the time each takes. 0: all the rest.
int64_t TransferEngine::PartSize() const {
    const int64_t rate = limiter_.Rate();
    if (rate <= 0) return 0;
    const double carry = static_cast<double>(rate) * firstByteSeconds_ * 2 / std::max(paced_, 1);
    return std::clamp<int64_t>(std::max<int64_t>(limiter_.Slice(), static_cast<int64_t>(carry)), 1024, 4 << 20);
}

void TransferEngine::NoteFirstByte(std::chrono::steady_clock::duration took) {
    firstByteSeconds_ = firstByteSeconds_ * 0.75 + std::chrono::duration<double>(took).count() * 0.25;
}

// A request of the multi handle ended. A paced request with more to ask for waits for the
// cap again; its connection waits for the next request.
void TransferEngine::Ended(Transfer& t, int code) {
    if (t.paced && t.began && code == CURLE_OK && !t.partWrong && !t.sinkFailed) {
        if (t.prepaid > t.partReceived) limiter_.Charge(t.partReceived - t.prepaid);
        t.at += t.partReceived;
        if (t.partReceived > 0 && t.at <= t.end) {
            Release(t, true);
            return;
        }
        if (t.partReceived == 0) t.partWrong = true;
    } else if (t.paced && !t.began && t.request.first < 0) {
        long status = 0;
        curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
        // No byte to ask a range of (an empty resource), or a server that cannot say
        // where its parts belong: the resource is asked for whole.
        if (t.unrangeable || (code == CURLE_HTTP_RETURNED_ERROR && status == 416)) {
            limiter_.Charge(-t.prepaid);
            Release(t, !t.unrangeable);
            t.paced = t.unrangeable = false;
            Launch(t);
            return;
        }
    }
    Finish(t, code);
}

void TransferEngine::Release(Transfer& t, bool keep) {
    curl_multi_remove_handle(multi_, t.easy);
    // Only a handle that ended cleanly keeps a connection worth reusing with it.
    if (keep && idle_.size() < 64)
        idle_.push_back(t.easy);
    else
        curl_easy_cleanup(t.easy);
    t.easy = nullptr;
    curl_slist_free_all(t.headers);
    t.headers = nullptr;
}

void TransferEngine::Finish(Transfer& t, int code) {
    TransferResult& r = t.result;
    if (t.easy) {
        if (r.status == 0) t.TakeHead();
        long status = 0;
        curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
        if (status != 0 && !t.began) r.status = static_cast<int>(status);
        if (t.request.head && code == CURLE_OK) {
            curl_off_t length = -1;
            curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
            r.contentLength = length;
        }
    }
    {
        std::lock_guard held(t.control->mutex);
        r.cancelled = t.control->cancelled;
    }
    r.unresponsive = t.stalled || code == CURLE_OPERATION_TIMEDOUT;
    r.ok = code == CURLE_OK && !t.sinkFailed && !t.partWrong && !t.unrangeable && !r.cancelled;
    if (r.cancelled)
        r.error = "stopped";
    else if (t.stalled)
        r.error = "no byte for " + std::to_string(t.request.stallMs / 1000) + " s";
    else if (t.sinkFailed)
        r.error = "refused by the receiver";
    else if (t.partWrong)
        r.error = "the file changed on the server while it was fetched";
    else if (t.unrangeable)
        r.error = "the server did not send the range asked for";
    else if (code != CURLE_OK)
        r.error = curl_easy_strerror(static_cast<CURLcode>(code));
    if (t.easy) Release(t, code == CURLE_OK);
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
            if (t) Ended(*t, msg->data.result);
        }
        // Requests held by the cap go on once it lends again, one at a time and the oldest
        // first: resumed together, each would take its part at once, a burst of several
        // that the line would show. A request is stalled only while it is not held.
        const auto now = Clock::now();
        const bool capped = limiter_.Rate() > 0;
        std::vector<Transfer*> stalled, going;
        paced_ = 0;
        for (auto& [id, t] : active_) {  // by id: the oldest first
            if (t->paced) ++paced_;
            if (t->paused || !t->easy) {
                if (!capped || going.empty()) going.push_back(t.get());
            } else if (now - t->lastByte > std::chrono::milliseconds(t->request.stallMs)) {
                stalled.push_back(t.get());
            }
        }
        if (capped && limiter_.WaitNs() > 0) going.clear();
        for (Transfer* t : going) {
            if (t->paused) {
                t->paused = false;
                t->lastByte = now;
                curl_easy_pause(t->easy, CURLPAUSE_CONT);
            } else {
                Launch(*t);
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
