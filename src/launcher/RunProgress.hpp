#pragma once
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>

namespace tarvos {

// What a run is doing, for front ends that show more than the skin's texts and bars (the
// console's byte counts and time left, its machine-readable events).
struct TRunEvent {
    enum class Kind { Phase, File, Progress };
    Kind kind = Kind::Phase;
    std::string phase;  // "checking", "downloading", "unpacking"
    std::string file;   // list name, for File and Progress
    int32_t files = 0;  // Phase: how many files the phase covers
    int64_t done = 0;   // bytes downloaded in this repair so far
    int64_t total = 0;  // bytes the repair downloads, known before its first byte
    double rate = 0;    // bytes per second lately
    double eta = -1;    // seconds left at that rate; -1 not known yet
};

// The download rate over the last few seconds: steady enough for an estimate of the time
// left, quick enough to follow a changed cap.
class TRateMeter {
public:
    void Reset() { samples_.clear(); }
    void Add(int64_t bytes) {
        const auto now = std::chrono::steady_clock::now();
        // The wait for the first bytes (connections opening, a server slow to answer) is
        // no part of the rate: the look starts when bytes begin to flow.
        if (samples_.size() == 1 && samples_.front().second == bytes) samples_.clear();
        samples_.emplace_back(now, bytes);
        while (samples_.size() > 2 && now - samples_[1].first >= kWindow) samples_.pop_front();
    }
    // 0 until the samples span two seconds: servers and connections deliver in bursts, and
    // a shorter look misjudges the rate by a third either way.
    double Rate() const {
        if (samples_.size() < 2) return 0;
        const double seconds = std::chrono::duration<double>(samples_.back().first - samples_.front().first).count();
        if (seconds < kMinSpan) return 0;
        return static_cast<double>(samples_.back().second - samples_.front().second) / seconds;
    }

private:
    static constexpr std::chrono::seconds kWindow{5};
    static constexpr double kMinSpan = 2.0;
    std::deque<std::pair<std::chrono::steady_clock::time_point, int64_t>> samples_;
};

}  // namespace tarvos
