#include "platform/HttpClient.hpp"

#include <curl/curl.h>

#include <cctype>
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

struct HttpClient::Impl {
    CURL* curl = nullptr;
    ~Impl() {
        if (curl) curl_easy_cleanup(curl);
    }
};

std::string NormalizeUrl(const std::string& url) {
    std::string out = url;
    for (char& c : out) {
        if (c == '?' || c == '#') break;
        if (c == '\\') c = '/';
    }
    return out;
}

HttpClient::HttpClient() : impl_(std::make_unique<Impl>()) {
    GlobalInit();
    impl_->curl = curl_easy_init();
}

HttpClient::~HttpClient() = default;

void HttpClient::SetCaFile(const std::string& pemFile) {
    std::lock_guard lock(g_caMutex);
    g_caFile = pemFile;
}

void HttpClient::SetExtraHeader(std::string line) { extraHeader_ = std::move(line); }
void HttpClient::SetProgress(Progress progress) { progress_ = std::move(progress); }
void HttpClient::Disconnect() { abort_ = true; }

bool HttpClient::Head(const std::string& url) { return Perform(url, true); }

bool HttpClient::Get(const std::string& url, const Sink& sink) {
    sink_ = &sink;
    bool ok = Perform(url, false);
    sink_ = nullptr;
    return ok;
}

size_t HttpClient::OnHeader(char* data, size_t size, size_t n, void* self) {
    auto& c = *static_cast<HttpClient*>(self);
    std::string line(data, size * n);
    if (StartsWithNoCase(line, "http/")) {
        // A new response begins (the first, or the next one after a redirect).
        auto sp = line.find(' ');
        c.status_ = sp == std::string::npos ? 0 : std::atoi(line.c_str() + sp + 1);
        c.contentRange_.clear();
        c.contentLength_ = -1;
        c.received_ = 0;
    } else if (StartsWithNoCase(line, "content-range:")) {
        c.contentRange_ = TrimText(line.substr(14));
    } else if (StartsWithNoCase(line, "content-length:")) {
        c.contentLength_ = std::strtoll(line.c_str() + 15, nullptr, 10);
    }
    return size * n;
}

size_t HttpClient::OnBody(char* data, size_t size, size_t n, void* self) {
    auto& c = *static_cast<HttpClient*>(self);
    size_t len = size * n;
    if (c.abort_ || !c.sink_ || !(*c.sink_)(data, len)) return 0;  // 0 makes curl fail the request
    c.received_ += static_cast<int64_t>(len);
    if (c.progress_) c.progress_(c.received_);
    return len;
}


bool HttpClient::Perform(const std::string& url, bool head) {
    CURL* h = impl_->curl;
    if (!h) {
        error_ = "no HTTP handle";
        return false;
    }
    abort_ = false;
    status_ = 0;
    contentLength_ = -1;
    received_ = 0;
    contentRange_.clear();
    error_.clear();

    SList headers;
    if (!extraHeader_.empty()) headers.list = curl_slist_append(nullptr, extraHeader_.c_str());
    std::string target = NormalizeUrl(url);
    curl_easy_setopt(h, CURLOPT_URL, target.c_str());
    curl_easy_setopt(h, CURLOPT_NOBODY, head ? 1L : 0L);
    if (!head) curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 256L * 1024L);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HttpClient::OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &HttpClient::OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnXferInfo);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    {
        std::lock_guard lock(g_caMutex);
        if (!g_caFile.empty()) {
            curl_easy_setopt(h, CURLOPT_CAINFO, g_caFile.c_str());
            // A private authority publishes no revocation lists; Schannel would refuse it.
            curl_easy_setopt(h, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NO_REVOKE));
        }
    }
    CURLcode rc = curl_easy_perform(h);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    status_ = static_cast<int>(code);
    if (head && rc == CURLE_OK) {
        curl_off_t len = -1;
        curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &len);
        contentLength_ = len;
    }
    if (rc != CURLE_OK) error_ = curl_easy_strerror(rc);
    return rc == CURLE_OK;
}

}  // namespace tarvos
