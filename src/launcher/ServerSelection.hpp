#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/uConfigData.hpp"
#include "platform/EventLoop.hpp"

namespace tarvos {

// Where the chosen server is logged; empty when no debug log is attached.
using DebugLine = std::function<void(const std::string& line)>;

class TransferEngine;

struct ServerSelectionOptions {
    DebugLine log;
    EventLoop* loop = nullptr;  // the main loop when null
    TransferEngine* engine = nullptr;  // the run's; one of its own on the loop when null
    // Milliseconds of a monotonic clock; the steady clock when empty.
    std::function<int64_t()> nowMs;
    // A uniform index in [0, count); the C library generator (seeded at start) when empty.
    std::function<int(int count)> randomIndex;
};

// Probes the servers all at once with a HEAD request for their packed list, removes every
// entry whose probe fails, and returns the chosen entry as stored: the fastest one answering
// in under a second, a random survivor, or the first entry, by the flags. Empty when there
// is nothing to choose. Messages keep being processed while the probes wait.
std::string CheckUpdateServers(tUpdateServersRecord& servers, const ServerSelectionOptions& options = {});

}  // namespace tarvos
