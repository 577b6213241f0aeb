#include "platform/HttpClient.hpp"

#include <curl/curl.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <mutex>

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

void SetCaFile(const std::string& pemFile) {
    std::lock_guard lock(g_caMutex);
    g_caFile = pemFile;
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

}  // namespace tarvos
