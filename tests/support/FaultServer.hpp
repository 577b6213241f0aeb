#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace tarvos::test {

// An HTTP(S) server on 127.0.0.1 that serves generated files with injected faults. Each
// request path is /t/<token>/<options>/<name>; the options (comma-separated) choose the
// file and its faults:
//   size=N       the file's length (its bytes are PatternByte(0..N-1))
//   nolen        no Content-Length (chunked answers)
//   err=S:C      a GET whose range starts at S is answered with status C
//   stall=S[:N]  the first (N) GET(s) for the range starting at S send half, then stall
//   stallall=S   every GET for the range starting at S stalls that way
//   drop=S       a GET for the range starting at S closes after half its bytes
//   badrange=S   the range starting at S is answered with bytes S+1.. (and says so)
//   norange      Range is ignored: every GET gets the whole file with status 200
//   rate=B       each answer is sent at about B bytes per second
//   delay=MS     every answer (HEAD too) waits MS milliseconds first
//   fail         every request is answered 404
//   redir        answered 302 to the same path without "redir"
// GET /log/<token> lists the requests seen for a token, one per line:
//   "<METHOD> <path> <Range header or ->".
// With a files root, real files are served too:
//   /d/<token>/<options>/<path>  the file <root>/<token>/<path>, ranges answered; the options
//                                fail, delay=MS and rate=B as above, and for every file but
//                                the list: norange (Range ignored), r416 (a ranged GET gets
//                                416), short (bodies end halfway), head404 (HEAD answers, GET
//                                404s), html (an HTML page with 200 for everything), stuck
//                                (nothing after the headers for 2 s), stale (one byte
//                                changed), mute (no answer for 25 s) and hang (GETs: the
//                                headers, then nothing for 25 s)
//   /publish/<token>             publishes <root>/<token>/game into <root>/<token>/server
//                                (required.txt and delete.txt beside them when present);
//                                200 when it worked, else 500 with the reason
class FaultServer {
public:
    // With certificate and key files the server speaks https.
    FaultServer(const std::string& certFile = "", const std::string& keyFile = "", const std::string& filesRoot = "");
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    int Port() const { return port_; }
    bool Ok() const { return port_ > 0; }
    std::vector<std::string> Log(const std::string& token);

private:
    void Route();
    void RouteFiles();
    void Record(const std::string& token, const std::string& method, const std::string& path,
                const std::string& range);
    int CountRequests(const std::string& token, const std::string& rangeStart);

    std::unique_ptr<httplib::Server> server_;
    std::thread listener_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::map<std::string, std::vector<std::string>> log_;
    int port_ = -1;
    std::string filesRoot_;
};

}  // namespace tarvos::test
