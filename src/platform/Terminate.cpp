#include "platform/Terminate.hpp"

#include <atomic>

namespace tarvos {
namespace {
std::atomic<bool> g_terminated{false};
std::function<void()> g_endHook;
std::atomic<bool> g_endHookRan{false};
}  // namespace

bool ApplicationTerminated() { return g_terminated.load(std::memory_order_acquire); }
void SetApplicationTerminated(bool value) { g_terminated.store(value, std::memory_order_release); }

// Set on the main thread before any worker exists; EndProcessNow may run it from a worker.
void SetProcessEndHook(std::function<void()> hook) {
    g_endHook = std::move(hook);
    g_endHookRan = false;
}

void RunProcessEndHook() noexcept {
    if (!g_endHook || g_endHookRan.exchange(true)) return;
    try {
        g_endHook();
    } catch (...) {
        // The process is ending: nothing is left to report to.
    }
}

}  // namespace tarvos
