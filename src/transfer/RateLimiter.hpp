#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tarvos {

// A token bucket shared by every connection of a download: each piece takes tokens for the
// bytes it has received before it writes them, and waits while the bucket is empty, so
// that all pieces together stay at the cap. The cap may change at any moment from any
// thread; waiting pieces follow it within a tenth of a second. Lock-free: the bucket is
// kept as the time at which it will be full again.
class RateLimiter {
public:
    // Bytes per second; 0 or less: no cap.
    void SetRate(int64_t bytesPerSecond);
    int64_t Rate() const { return rate_.load(); }

    // Takes `bytes` tokens, waiting until the bucket holds them. `cancelled` is asked while
    // waiting; when it says so the wait ends at once with false.
    bool Take(int64_t bytes, const std::function<bool()>& cancelled);

    // The most a piece should take at once at the present cap: small enough that a piece
    // shows progress several times a second, whatever the cap.
    int64_t Slice() const;

private:
    std::atomic<int64_t> rate_{0};
    std::atomic<int64_t> full_{0};  // steady-clock nanoseconds at which the bucket is empty of debt
    std::atomic<uint64_t> generation_{0};
};

// "5M", "200k", "1048576": bytes per second, with the suffixes k (1024) and M (1024 * 1024)
// in either letter case; "0" means no cap. Nothing for text that is no rate.
std::optional<int64_t> ParseRate(const std::string& text);
// The shortest text that ParseRate reads back as the same rate.
std::string FormatRate(int64_t bytesPerSecond);

}  // namespace tarvos
