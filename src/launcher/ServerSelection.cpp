#include "launcher/ServerSelection.hpp"

#include <chrono>
#include <cstdlib>

#include "platform/HttpClient.hpp"
#include "platform/Text.hpp"

namespace tarvos {
namespace {

constexpr const char* kProbeFile = "updater.lst.ta2";
constexpr int64_t kResponseCeilingMs = 1000;

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string ProbeUrl(const std::string& trimmedEntry) {
    std::string url = trimmedEntry;
    if (url.empty() || url.back() != '\\') url += '\\';
    return url + kProbeFile;
}

struct ProbeResult {
    bool answered = false;
    int64_t elapsedMs = 0;
};

ProbeResult Probe(HttpClient& client, const std::string& url, EventLoop& loop, const std::function<int64_t()>& now) {
    ProbeResult r;
    const int64_t began = now();
    RunWhileProcessing(loop, [&] { r.answered = client.Head(url); });
    r.elapsedMs = now() - began;
    return r;
}

// Probes every entry, dropping the failed ones; returns the fastest under the ceiling.
std::string ProbeAll(std::vector<std::string>& servers, const ServerSelectionOptions& o) {
    EventLoop& loop = o.loop ? *o.loop : MainLoop();
    const std::function<int64_t()> now = o.nowMs ? o.nowMs : SteadyMs;
    int64_t bestTime = kResponseCeilingMs;
    std::string best;
    HttpClient client;
    for (size_t i = 0; i < servers.size();) {
        std::string entry = TrimText(servers[i]);
        if (entry.empty()) {
            ++i;
            continue;
        }
        ProbeResult r = Probe(client, ProbeUrl(entry), loop, now);
        if (!r.answered) {
            servers.erase(servers.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        // Strictly faster only: with equal times the earlier entry stays chosen.
        if (r.elapsedMs < bestTime) {
            bestTime = r.elapsedMs;
            best = servers[i];
        }
        ++i;
    }
    return best;
}

}  // namespace

std::string CheckUpdateServers(tUpdateServersRecord& servers, const ServerSelectionOptions& options) {
    if (servers.Servers.empty()) return {};
    std::string result = servers.Servers.front();
    if (servers.Servers.size() < 2) return result;  // a single server is used unprobed

    std::string fastest = ProbeAll(servers.Servers, options);
    if (servers.Servers.empty()) return result;  // all failed: the first entry after all

    if (servers.UsePing) {
        result = fastest;
    } else if (servers.RandomSelect) {
        const int count = static_cast<int>(servers.Servers.size());
        const int k = options.randomIndex ? options.randomIndex(count) : std::rand() % count;
        result = servers.Servers[static_cast<size_t>(k)];
    } else {
        return result;
    }
    if (options.log) options.log("Selected server: " + result);
    return result;
}

}  // namespace tarvos
