#include "support/FaultServer.hpp"

#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "support/Pattern.hpp"
#include "support/PublishFixture.hpp"

namespace tarvos::test {
namespace {

using Options = std::map<std::string, std::string>;

Options ParseOptions(const std::string& text) {
    Options o;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ',')) {
        auto eq = item.find('=');
        if (eq == std::string::npos)
            o[item] = "";
        else
            o[item.substr(0, eq)] = item.substr(eq + 1);
    }
    return o;
}

std::string WithoutOption(const std::string& text, const std::string& name) {
    std::stringstream ss(text);
    std::string item, out;
    while (std::getline(ss, item, ','))
        if (item != name) out += (out.empty() ? "" : ",") + item;
    return out;
}

// "bytes=a-b" -> a, b (b = -1 when open); false when absent or not understood.
bool ParseRange(const std::string& header, long long& a, long long& b) {
    b = -1;
    if (header.rfind("bytes=", 0) != 0) return false;
    int n = std::sscanf(header.c_str() + 6, "%lld-%lld", &a, &b);
    return n >= 1;
}

std::string RangeStart(const std::string& header) {
    long long a, b;
    return ParseRange(header, a, b) ? std::to_string(a) : std::string();
}

// Longer than any stall limit of the launcher (20 s): a server that has gone silent.
constexpr long long kSilentMs = 25000;

// Sleeps up to ms in small steps, returning early when the server stops.
void Pause(const std::atomic<bool>& stopping, long long ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

struct Body {
    long long first = 0;   // file offset of the body's first byte
    long long length = 0;  // body length
    bool stall = false;
    bool drop = false;
    long long rate = 0;
};

bool SendBody(const Body& b, const std::atomic<bool>& stopping, size_t offset, httplib::DataSink& sink) {
    constexpr size_t kChunk = 64 * 1024;
    const size_t stallAt = static_cast<size_t>(b.length / 2);
    if (b.stall && offset >= stallAt) {
        Pause(stopping, 10000);
        return false;  // closes the connection
    }
    if (b.drop && static_cast<long long>(offset) >= b.length / 2) return false;
    size_t n = std::min<size_t>(kChunk, static_cast<size_t>(b.length) - offset);
    if (b.stall) n = std::min<size_t>(n, stallAt - offset);
    if (b.drop) n = std::min<size_t>(n, static_cast<size_t>(b.length / 2) - offset);
    if (b.rate > 0) {
        n = std::min<size_t>(n, 16 * 1024);
        Pause(stopping, static_cast<long long>(n) * 1000 / b.rate);
    }
    std::string buf(n, '\0');
    FillPattern(buf.data(), b.first + static_cast<long long>(offset), n);
    sink.write(buf.data(), n);
    return true;
}

}  // namespace

FaultServer::FaultServer(const std::string& certFile, const std::string& keyFile, const std::string& filesRoot)
    : filesRoot_(filesRoot) {
    if (!certFile.empty())
        server_ = std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str());
    else
        server_ = std::make_unique<httplib::Server>();
    if (!server_->is_valid()) return;
    // Stalled answers hold their thread; keep enough for every piece of several downloads.
    server_->new_task_queue = [] { return new httplib::ThreadPool(64); };
    Route();
    if (!filesRoot_.empty()) RouteFiles();
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ > 0) listener_ = std::thread([this] { server_->listen_after_bind(); });
}

FaultServer::~FaultServer() {
    stopping_ = true;
    if (listener_.joinable()) {
        server_->stop();
        listener_.join();
    }
}

std::vector<std::string> FaultServer::Log(const std::string& token) {
    std::lock_guard lock(mutex_);
    return log_[token];
}

int FaultServer::CountRequests(const std::string& token, const std::string& rangeStart) {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const auto& line : log_[token]) {
        auto lastSpace = line.rfind(' ');
        if (line.rfind("GET ", 0) == 0 && RangeStart(line.substr(lastSpace + 1)) == rangeStart) ++n;
    }
    return n;
}

void FaultServer::Route() {
    server_->Get(R"(/log/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
        std::string text;
        for (const auto& line : Log(req.matches[1])) text += line + "\n";
        res.set_content(text, "text/plain");
    });
    server_->Get(R"(/t/([^/]+)/([^/]*)/(.*))", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string token = req.matches[1], optText = req.matches[2], name = req.matches[3];
        const std::string range = req.get_header_value("Range");
        {
            std::lock_guard lock(mutex_);
            log_[token].push_back(req.method + " " + req.path + " " + (range.empty() ? "-" : range));
        }
        // We answer ranges ourselves, faults included.
        const_cast<httplib::Request&>(req).ranges.clear();
        Options o = ParseOptions(optText);
        if (o.count("delay")) Pause(stopping_, std::stoll(o["delay"]));
        if (o.count("fail")) {
            res.status = 404;
            return;
        }
        if (o.count("redir")) {
            res.set_redirect("/t/" + token + "/" + WithoutOption(optText, "redir") + "/" + name);
            return;
        }
        const long long size = o.count("size") ? std::stoll(o["size"]) : 0;
        Body body;
        body.length = size;
        long long a = 0, b = -1;
        const bool ranged = !o.count("norange") && !o.count("nolen") && ParseRange(range, a, b);
        if (ranged) {
            if (b < 0 || b >= size) b = size - 1;
            if (a > b) {
                res.status = 416;
                return;
            }
            body.first = a;
            body.length = b - a + 1;
        }
        const std::string start = RangeStart(range);
        if (o.count("err") && req.method == "GET") {
            auto colon = o["err"].find(':');
            if (o["err"].substr(0, colon) == start) {
                res.status = std::stoi(o["err"].substr(colon + 1));
                res.set_content("injected error", "text/plain");
                return;
            }
        }
        if (req.method == "GET") {
            if (o.count("stall")) {
                const auto colon = o["stall"].find(':');
                const int times = colon == std::string::npos ? 1 : std::stoi(o["stall"].substr(colon + 1));
                body.stall = o["stall"].substr(0, colon) == start && CountRequests(token, start) <= times;
            }
            body.stall = body.stall || (o.count("stallall") && o["stallall"] == start);
            body.drop = o.count("drop") && o["drop"] == start;
        }
        if (o.count("rate")) body.rate = std::stoll(o["rate"]);
        if (ranged && o.count("badrange") && o["badrange"] == start && req.method == "GET" && b + 1 < size) {
            ++a;  // a well-formed answer for the neighbouring range
            ++b;
            body.first = a;
        }
        if (ranged) {
            res.status = 206;
            res.set_header("Content-Range",
                           "bytes " + std::to_string(a) + "-" + std::to_string(b) + "/" + std::to_string(size));
        }
        auto send = [this, body](size_t offset, httplib::DataSink& sink) {
            return SendBody(body, stopping_, offset, sink);
        };
        if (o.count("nolen")) {
            res.set_chunked_content_provider("application/octet-stream", [send, body](size_t offset, httplib::DataSink& sink) {
                if (static_cast<long long>(offset) >= body.length) {
                    sink.done();
                    return true;
                }
                return send(offset, sink);
            });
        } else {
            res.set_content_provider(static_cast<size_t>(body.length), "application/octet-stream",
                                     [send](size_t offset, size_t, httplib::DataSink& sink) { return send(offset, sink); });
        }
    });
}

void FaultServer::Record(const std::string& token, const std::string& method, const std::string& path,
                         const std::string& range) {
    std::lock_guard lock(mutex_);
    log_[token].push_back(method + " " + path + " " + (range.empty() ? "-" : range));
}

void FaultServer::RouteFiles() {
    server_->Get(R"(/publish/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string dir = filesRoot_ + "/" + std::string(req.matches[1]);
        std::filesystem::create_directories(dir + "/server");
        const std::string why =
            PublishFolder(dir + "/game", dir + "/server", dir + "/required.txt", dir + "/delete.txt");
        res.status = why.empty() ? 200 : 500;
        res.set_content(why.empty() ? "ok" : why, "text/plain");
    });
    auto serve = [this](const httplib::Request& req, httplib::Response& res) {
        const std::string token = req.matches[1], optText = req.matches[2], rel = req.matches[3];
        const std::string range = req.get_header_value("Range");
        Record(token, req.method, req.path, range);
        const_cast<httplib::Request&>(req).ranges.clear();
        Options o = ParseOptions(optText);
        if (o.count("delay")) Pause(stopping_, std::stoll(o["delay"]));
        const std::string file = filesRoot_ + "/" + token + "/" + rel;
        std::error_code ec;
        if (o.count("fail") || rel.find("..") != std::string::npos || !std::filesystem::is_regular_file(file, ec)) {
            res.status = 404;
            return;
        }
        std::ifstream in(file, std::ios::binary);
        auto data = std::make_shared<std::string>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        // Misbehaviour is for the packed files; the list stays served, so a run gets that far.
        const bool faulty = rel.find("updater.lst") == std::string::npos;
        const bool get = req.method == "GET";
        // mute: the request is taken and never answered (for longer than any stall limit).
        if (faulty && o.count("mute")) {
            Pause(stopping_, kSilentMs);
            res.status = 503;
            return;
        }
        if (faulty && o.count("html")) {
            res.set_content("<html><body>Service temporarily unavailable</body></html>", "text/html");
            return;
        }
        if (faulty && get && o.count("head404")) {
            res.status = 404;
            return;
        }
        if (faulty && o.count("stale") && !data->empty()) (*data)[data->size() / 2] ^= 0x5A;
        const long long size = static_cast<long long>(data->size());
        long long a = 0, b = size - 1;
        long long rb = -1;
        if (!(faulty && o.count("norange")) && ParseRange(range, a, rb)) {
            if (faulty && get && o.count("r416")) {
                res.status = 416;
                return;
            }
            b = rb < 0 || rb >= size ? size - 1 : rb;
            if (a > b) {
                res.status = 416;
                return;
            }
            res.status = 206;
            res.set_header("Content-Range",
                           "bytes " + std::to_string(a) + "-" + std::to_string(b) + "/" + std::to_string(size));
        }
        const long long rate = o.count("rate") ? std::stoll(o["rate"]) : 0;
        const long long first = a;
        // short: the body ends halfway; stuck: nothing after the headers.
        const size_t cut = faulty && o.count("short")   ? static_cast<size_t>(b - a + 1) / 2
                           : faulty && o.count("stuck") ? 0
                                                        : static_cast<size_t>(b - a + 1);
        const bool stuck = faulty && o.count("stuck");
        // hang: the headers, then silence for longer than any stall limit.
        const bool hang = faulty && get && o.count("hang");
        res.set_content_provider(
            static_cast<size_t>(b - a + 1), "application/octet-stream",
            [this, data, first, rate, cut, stuck, hang](size_t offset, size_t length, httplib::DataSink& sink) {
                if (stuck) Pause(stopping_, 2000);  // far longer than the tests' watchdog
                if (hang) {
                    Pause(stopping_, kSilentMs);
                    return false;
                }
                if (offset >= cut) return false;
                size_t n = std::min<size_t>({length, 64 * 1024, cut - offset});
                if (rate > 0) {
                    n = std::min<size_t>(n, 16 * 1024);
                    Pause(stopping_, static_cast<long long>(n) * 1000 / rate);
                    if (stopping_) return false;
                }
                sink.write(data->data() + first + static_cast<long long>(offset), n);
                return true;
            });
    };
    server_->Get(R"(/d/([^/]+)/([^/]*)/(.*))", serve);
}

}  // namespace tarvos::test
