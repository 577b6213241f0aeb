#include "transfer/RateLimiter.hpp"

#include <algorithm>
#include <chrono>

namespace tarvos {
namespace {

constexpr int64_t kSecondNs = 1000000000;
// The bucket holds a tenth of a second of traffic: enough to smooth the uneven arrival of
// several connections' buffers, too little to show as a burst in any one-second window.
constexpr int64_t kBurstNs = kSecondNs / 10;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void RateLimiter::SetRate(int64_t bytesPerSecond) {
    // A new cap starts from a full bucket: the debt taken at the old cap is forgotten.
    rate_ = std::max<int64_t>(bytesPerSecond, 0);
    full_ = NowNs();
}

int64_t RateLimiter::Slice() const {
    const int64_t rate = rate_;
    if (rate <= 0) return INT64_MAX;
    return std::clamp<int64_t>(rate / 20, 1024, 256 * 1024);
}

int64_t RateLimiter::WaitNs() const {
    if (rate_ <= 0) return 0;
    return std::max<int64_t>(full_ - NowNs(), 0);
}

void RateLimiter::Charge(int64_t bytes) {
    const int64_t rate = rate_;
    if (rate <= 0) return;
    const auto cost = static_cast<int64_t>(static_cast<double>(bytes) * kSecondNs / static_cast<double>(rate));
    const int64_t now = NowNs();
    int64_t full = full_;
    while (!full_.compare_exchange_weak(full, std::max(full, now - kBurstNs) + cost)) {
    }
}

std::optional<int64_t> ParseRate(const std::string& text) {
    if (text.empty() || text.size() > 24) return std::nullopt;
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0) return std::nullopt;
    int64_t unit = 1;
    const std::string suffix = text.substr(digits);
    if (suffix == "k" || suffix == "K")
        unit = 1024;
    else if (suffix == "m" || suffix == "M")
        unit = 1024 * 1024;
    else if (!suffix.empty())
        return std::nullopt;
    if (digits > 12) return std::nullopt;  // beyond any link: refused rather than overflowed
    const int64_t rate = std::stoll(text.substr(0, digits)) * unit;
    if (rate != 0 && rate < kMinLimitRate) return std::nullopt;
    return rate;
}

std::string FormatRate(int64_t bytesPerSecond) {
    if (bytesPerSecond <= 0) return "0";
    if (bytesPerSecond % (1024 * 1024) == 0) return std::to_string(bytesPerSecond / (1024 * 1024)) + "M";
    if (bytesPerSecond % 1024 == 0) return std::to_string(bytesPerSecond / 1024) + "k";
    return std::to_string(bytesPerSecond);
}

}  // namespace tarvos
