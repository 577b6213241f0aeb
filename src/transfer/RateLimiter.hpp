#pragma once
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace tarvos {

// A token bucket shared by every request of a run: a request is charged for the bytes it
// takes, and is held (paused) while the bucket is in debt, so that all requests together
// stay at the cap. The cap may change at any moment from any thread. Lock-free: the bucket
// is kept as the time at which its debt is paid.
class RateLimiter {
public:
    // Bytes per second; 0 or less: no cap.
    void SetRate(int64_t bytesPerSecond);
    int64_t Rate() const { return rate_.load(); }

    // Nanoseconds until the bucket lends again; 0 when bytes may be taken now (or no cap).
    int64_t WaitNs() const;
    // Charges bytes taken.
    void Charge(int64_t bytes);

    // The most a request should take at once at the present cap: small enough that it
    // moves several times a second, whatever the cap.
    int64_t Slice() const;

private:
    std::atomic<int64_t> rate_{0};
    std::atomic<int64_t> full_{0};  // steady-clock nanoseconds at which the bucket is empty of debt
};

// The smallest cap there is: below it a request's smallest slice would wait longer than a
// stalled server is given.
inline constexpr int64_t kMinLimitRate = 1024;

// "5M", "200k", "1048576": bytes per second, with the suffixes k (1024) and M (1024 * 1024)
// in either letter case; "0" means no cap. Nothing for text that is no rate, or a cap below
// kMinLimitRate.
std::optional<int64_t> ParseRate(const std::string& text);
// The shortest text that ParseRate reads back as the same rate.
std::string FormatRate(int64_t bytesPerSecond);

}  // namespace tarvos
