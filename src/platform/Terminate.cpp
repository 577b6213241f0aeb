#include "platform/Terminate.hpp"

#include <atomic>

namespace tarvos {
namespace {
std::atomic<bool> g_terminated{false};
}

bool ApplicationTerminated() { return g_terminated.load(std::memory_order_acquire); }
void SetApplicationTerminated(bool value) { g_terminated.store(value, std::memory_order_release); }

}  // namespace tarvos
