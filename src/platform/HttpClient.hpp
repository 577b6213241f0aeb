#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvos {

// The User-Agent of every request the launcher makes.
inline constexpr const char* kUserAgent = "Opera/9.80 (Windows NT 6.2; WOW64) Presto/2.12.388 Version/12.16";

// What a response's head says, as the transfer engine reads it.
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

// Trusted certificates (PEM file) for https in addition to the system's, for every request
// set up from then on; for servers with a private certificate authority.
void SetCaFile(const std::string& pemFile);

// The URL as sent: every "\" before the first "?" or "#" becomes "/".
std::string NormalizeUrl(const std::string& url);

}  // namespace tarvos
