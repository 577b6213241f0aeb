#include "launcher/ServerSelection.hpp"

#include <chrono>
#include <cstdlib>
#include <memory>

#include "platform/Text.hpp"
#include "transfer/TransferEngine.hpp"

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

// Probes every entry at once through the run's engine, so that each probe has the engine's
// connect and stall limits and a silent server costs no more than one of them. The failed
// entries are dropped; returns the fastest under the ceiling, the earlier of equal ones.
std::string ProbeAll(std::vector<std::string>& servers, const ServerSelectionOptions& o) {
    EventLoop& loop = o.loop ? *o.loop : MainLoop();
    std::unique_ptr<TransferEngine> own;
    TransferEngine* engine = o.engine;
    if (!engine) engine = (own = std::make_unique<TransferEngine>(loop)).get();
    const std::function<int64_t()> now = o.nowMs ? o.nowMs : SteadyMs;
    struct Probe {
        size_t index = 0;
        int64_t elapsedMs = -1;  // -1: no answer
    };
    std::vector<Probe> probes;
    for (size_t i = 0; i < servers.size(); ++i)
        if (!TrimText(servers[i]).empty()) probes.push_back({i});
    TransferBatch batch(*engine);
    const int64_t began = now();
    for (Probe& p : probes) {
        TransferRequest r;
        r.url = ProbeUrl(TrimText(servers[p.index]));
        r.head = true;
        r.done = [&p, &now, began](const TransferResult& result) {
            if (result.ok) p.elapsedMs = now() - began;
        };
        batch.Add(std::move(r));
    }
    batch.Wait();
    int64_t bestTime = kResponseCeilingMs;
    std::string best;
    std::vector<std::string> kept;
    auto probe = probes.begin();
    for (size_t i = 0; i < servers.size(); ++i) {
        if (probe != probes.end() && probe->index == i) {
            const int64_t elapsed = (probe++)->elapsedMs;
            if (elapsed < 0) continue;
            if (elapsed < bestTime) {  // strictly faster only
                bestTime = elapsed;
                best = servers[i];
            }
        }
        kept.push_back(servers[i]);
    }
    servers = std::move(kept);
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
