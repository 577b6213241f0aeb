#include "platform/HttpClient.hpp"

#include <curl/curl.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "platform/HandlerBoundary.hpp"
#include "platform/Text.hpp"

namespace tarvos {
namespace {

std::mutex g_caMutex;
std::string g_caFile;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i)
        if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

// curl calls this at least about once a second even while no byte arrives, which is what
// lets another thread end a request blocked on a stalled server.
int OnXferInfo(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<HttpClient*>(self)->Disconnecting() ? 1 : 0;
}

struct SList {
    curl_slist* list = nullptr;
    ~SList() { curl_slist_free_all(list); }
};

}  // namespace

// The transfer runs on a multi handle of its own: waiting in curl_multi_poll lets
// Disconnect wake the request at once with curl_multi_wakeup, where the plain interface
// would only notice at its next progress call, up to a second later.
struct HttpClient::Impl {
    CURL* curl = nullptr;
    CURLM* multi = nullptr;
    ~Impl() {
        if (multi) curl_multi_cleanup(multi);
        if (curl) curl_easy_cleanup(curl);
    }
};

namespace {

// Characters that may not stand in a URL as they are: a name holding one (a blank, most
// often) would otherwise never be fetched.
bool NeedsEscape(unsigned char c) {
    if (c <= 0x20 || c == 0x7F) return true;
    switch (c) {
        case '"': case '<': case '>': case '`': case '{': case '}': case '^':
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string NormalizeUrl(const std::string& url) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(url.size());
    bool inPath = true;
    for (char ch : url) {
        auto c = static_cast<unsigned char>(ch);
        if (ch == '?' || ch == '#') inPath = false;
        if (inPath && ch == '\\') {
            out += '/';
        } else if (NeedsEscape(c)) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

void InitCurl() { GlobalInit(); }

void SetUpCurlRequest(void* easy, const std::string& url, bool head, void* headerList) {
    GlobalInit();
    CURL* h = easy;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOBODY, head ? 1L : 0L);
    if (!head) curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(headerList));
    curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, kConnectLimitMs);
    // The callers' own stall limits (which leave out time held back by the cap) come first;
    // this one only makes sure that no request can wait for ever whoever drives it.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 256L * 1024L);
    std::lock_guard lock(g_caMutex);
    if (!g_caFile.empty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, g_caFile.c_str());
        // A private authority publishes no revocation lists; Schannel would refuse it.
        curl_easy_setopt(h, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NO_REVOKE));
    }
}

HttpClient::HttpClient() : impl_(std::make_unique<Impl>()) {
    GlobalInit();
    impl_->curl = curl_easy_init();
    impl_->multi = curl_multi_init();
}

HttpClient::~HttpClient() = default;

void HttpClient::SetCaFile(const std::string& pemFile) {
    std::lock_guard lock(g_caMutex);
    g_caFile = pemFile;
}

void HttpClient::SetExtraHeader(std::string line) { extraHeader_ = std::move(line); }
void HttpClient::SetProgress(Progress progress) { progress_ = std::move(progress); }
void HttpClient::Disconnect() {
    abort_ = true;
    if (impl_->multi) curl_multi_wakeup(impl_->multi);
}

bool HttpClient::Head(const std::string& url) { return Perform(url, true); }

bool HttpClient::Get(const std::string& url, const Sink& sink) {
    sink_ = &sink;
    bool ok = Perform(url, false);
    sink_ = nullptr;
    return ok;
}

namespace {

// A decimal number of plain digits that fits an int64_t; -1 for anything else (a sign,
// blanks, no digits, too many of them).
int64_t Decimal(std::string_view text) {
    if (text.empty() || text.size() > 18) return -1;
    int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

}  // namespace

// A number as a server writes it: no leading zero.
static int64_t Canonical(std::string_view text) { return text.size() > 1 && text[0] == '0' ? -1 : Decimal(text); }

std::optional<ContentRange> ParseContentRange(std::string_view v) {
    constexpr std::string_view unit = "bytes ";
    if (v.substr(0, unit.size()) != unit) return std::nullopt;
    const size_t dash = v.find('-', unit.size()), slash = v.find('/', unit.size());
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return std::nullopt;
    const std::string_view t = v.substr(slash + 1);
    ContentRange r{Canonical(v.substr(unit.size(), dash - unit.size())), Canonical(v.substr(dash + 1, slash - dash - 1)),
                   t == "*" ? -1 : Canonical(t)};
    if (r.first < 0 || r.last < 0 || (t != "*" && r.total < 0)) return std::nullopt;
    return r;
}

bool ContentRangeIs(const std::string& value, int64_t first, int64_t last, int64_t total) {
    const auto r = ParseContentRange(value);
    return r && r->first == first && r->last == last && (r->total < 0 || r->total == total);
}

void HttpHead::Take(const char* data, size_t length) {
    std::string line(data, length);
    if (StartsWithNoCase(line, "http/")) {
        // A new response begins (the first, or the next one after a redirect).
        *this = HttpHead{};
        // "HTTP/1.1 206 Partial Content": three digits, or no status the launcher knows.
        const auto sp = line.find(' ');
        const int64_t code = sp == std::string::npos ? -1 : Decimal(std::string_view(line).substr(sp + 1, 3));
        status = code >= 100 && code <= 999 ? static_cast<int>(code) : 0;
    } else if (StartsWithNoCase(line, "etag:")) {
        etag = TrimText(line.substr(5));
    } else if (StartsWithNoCase(line, "last-modified:")) {
        lastModified = TrimText(line.substr(14));
    } else if (StartsWithNoCase(line, "content-range:")) {
        contentRange = TrimText(line.substr(14));
    } else if (StartsWithNoCase(line, "content-length:")) {
        // A length that is no plain number is as good as none: the body is then taken as it
        // comes, never sized by a negative or overflowing value.
        contentLength = Decimal(TrimText(line.substr(15)));
    }
}

size_t HttpClient::OnHeader(char* data, size_t size, size_t n, void* self) {
    auto& c = *static_cast<HttpClient*>(self);
    const int before = c.head_.status;
    c.head_.Take(data, size * n);
    if (c.head_.status != before) c.received_ = 0;
    return size * n;
}

size_t HttpClient::OnBody(char* data, size_t size, size_t n, void* self) {
    // A library callback: the sink (which may wait for a download cap) and the progress
    // report must not unwind through curl's frames; a failure fails the request.
    return CallbackBoundary<size_t>(0, [&]() -> size_t {
        auto& c = *static_cast<HttpClient*>(self);
        size_t len = size * n;
        if (c.abort_ || !c.sink_ || !(*c.sink_)(data, len)) return 0;  // 0 makes curl fail the request
        c.received_ += static_cast<int64_t>(len);
        if (c.progress_) c.progress_(c.received_);
        return len;
    });
}


int HttpClient::Transfer() {
    CURL* h = impl_->curl;
    CURLM* m = impl_->multi;
    if (curl_multi_add_handle(m, h) != CURLM_OK) return CURLE_FAILED_INIT;
    CURLcode rc = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(m, &running) != CURLM_OK) {
            rc = CURLE_FAILED_INIT;
            break;
        }
        if (!running) {
            int left = 0;
            rc = CURLE_RECV_ERROR;  // finished without a result message: count it as failed
            while (CURLMsg* msg = curl_multi_info_read(m, &left))
                if (msg->msg == CURLMSG_DONE && msg->easy_handle == h) rc = msg->data.result;
            break;
        }
        if (abort_) {
            rc = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        // Sleeps until the connection has something or Disconnect wakes it; curl's own
        // timers (connect timeouts, retries) shorten the wait as they need.
        if (curl_multi_poll(m, nullptr, 0, 1000, nullptr) != CURLM_OK) {
            rc = CURLE_FAILED_INIT;
            break;
        }
    }
    // Removing an unfinished transfer closes its connection.
    curl_multi_remove_handle(m, h);
    return static_cast<int>(rc);
}

bool HttpClient::Perform(const std::string& url, bool head) {
    CURL* h = impl_->curl;
    if (!h || !impl_->multi) {
        error_ = "no HTTP handle";
        return false;
    }
    abort_ = false;
    head_ = HttpHead{};
    received_ = 0;
    error_.clear();

    SList headers;
    if (!extraHeader_.empty()) headers.list = curl_slist_append(nullptr, extraHeader_.c_str());
    SetUpCurlRequest(h, NormalizeUrl(url), head, headers.list);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HttpClient::OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &HttpClient::OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnXferInfo);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    auto rc = static_cast<CURLcode>(Transfer());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    head_.status = static_cast<int>(code);
    if (head && rc == CURLE_OK) {
        curl_off_t len = -1;
        curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &len);
        head_.contentLength = len;
    }
    if (rc != CURLE_OK) error_ = curl_easy_strerror(rc);
    return rc == CURLE_OK;
}

}  // namespace tarvos
