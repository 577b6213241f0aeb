#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvos {

// The User-Agent of every request the launcher makes.
inline constexpr const char* kUserAgent = "Opera/9.80 (Windows NT 6.2; WOW64) Presto/2.12.388 Version/12.16";

// What a response's head says, as both the blocking client and the transfer engine read it.
struct HttpHead {
    int status = 0;
    int64_t contentLength = -1;
    std::string contentRange, etag, lastModified;
    // Takes one header line; a status line begins a new response (after a redirect).
    void Take(const char* data, size_t length);
    // What identifies this version of the resource: its ETag, else its Last-Modified date.
    std::string Validator() const { return !etag.empty() ? etag : lastModified; }
};

// A Content-Range value "bytes FIRST-LAST/TOTAL" in plain decimals; total is -1 for "*".
// Whether the numbers make sense together is the caller's to judge.
struct ContentRange {
    int64_t first = -1, last = -1, total = -1;
};
std::optional<ContentRange> ParseContentRange(std::string_view value);
// A Content-Range value is exactly "bytes FIRST-LAST/TOTAL" for this range of a resource of
// this size (TOTAL may be "*"); anything looser is not the range asked for.
bool ContentRangeIs(const std::string& value, int64_t first, int64_t last, int64_t total);

// Sets up a libcurl easy handle for one request as every request of the launcher is made:
// the URL as sent, HEAD or GET, headers, no proxy, redirects, error statuses failing, and
// the connect limit. Callbacks and their data are the caller's.
void SetUpCurlRequest(void* easy, const std::string& url, bool head, void* headerList);
// Initialises libcurl once per process; any thread, any number of times.
void InitCurl();
// The connect limit of every request.
inline constexpr long kConnectLimitMs = 10000;

// One HTTP/1.1 connection (http and https), used by one thread at a time except for
// Disconnect, which any thread may call. Redirects are followed.
class HttpClient {
public:
    // Receives body bytes as they arrive; returning false aborts the request.
    using Sink = std::function<bool(const char* data, size_t length)>;
    // Bytes of the current response body received so far.
    using Progress = std::function<void(int64_t received)>;

    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // HEAD; true on a successful status. ContentLength() is then the announced length
    // (-1 when the response has none).
    bool Head(const std::string& url);
    // GET streaming the body into sink; true when the whole body arrived with a successful
    // status. An error status delivers no body.
    bool Get(const std::string& url, const Sink& sink);

    // One extra request header line ("Range: bytes=0-99"), sent with every request; empty
    // for none.
    void SetExtraHeader(std::string line);
    void SetProgress(Progress progress);

    // Makes the request in progress fail at once and drops its connection.
    // The flag is cleared when the next request starts, so a disconnect only ends the
    // request it interrupted.
    void Disconnect();
    bool Disconnecting() const { return abort_; }

    // Of the last response (the final one after redirects); valid inside the sink too.
    int64_t ContentLength() const { return head_.contentLength; }
    int Status() const { return head_.status; }
    const std::string& ContentRange() const { return head_.contentRange; }
    // What identifies this version of the resource: its ETag, else its Last-Modified date;
    // empty when the server names neither.
    std::string Validator() const { return head_.Validator(); }
    const std::string& ErrorText() const { return error_; }

    // Trusted certificates (PEM file) for https in addition to the system's; for servers
    // with a private certificate authority.
    static void SetCaFile(const std::string& pemFile);

private:
    struct Impl;
    bool Perform(const std::string& url, bool head);
    int Transfer();
    static size_t OnHeader(char* data, size_t size, size_t n, void* self);
    static size_t OnBody(char* data, size_t size, size_t n, void* self);

    std::unique_ptr<Impl> impl_;
    std::string extraHeader_;
    Progress progress_;
    const Sink* sink_ = nullptr;
    std::atomic<bool> abort_{false};
    HttpHead head_;
    int64_t received_ = 0;
    std::string error_;
};

// The URL as sent: every "\" before the first "?" or "#" becomes "/".
std::string NormalizeUrl(const std::string& url);

}  // namespace tarvos
