#pragma once
#include <algorithm>
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
    int32_t inflight = 0;  // Progress: files downloading at once
};

// The download rate over the last few seconds: steady enough for an estimate of the time
// left, quick enough to follow a changed cap.
class TRateMeter {
    using Sample = std::pair<std::chrono::steady_clock::time_point, int64_t>;

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
    // The slope of a straight line through the samples (least squares), 0 until they span a
    // second. Servers and connections deliver in bursts, a second or so apart: the two ends of
    // the look alone would count a burst more or less and misjudge the rate by a third, where
    // every sample between them keeps the line on course.
    double Rate() const {
        if (samples_.size() < 2) return 0;
        const auto origin = samples_.front().first;
        if (std::chrono::duration<double>(samples_.back().first - origin).count() < kMinSpan) return 0;
        const auto base = samples_.front().second;
        double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (const Sample& s : samples_) {
            const double x = std::chrono::duration<double>(s.first - origin).count();
            const auto y = static_cast<double>(s.second - base);
            n += 1, sx += x, sy += y, sxx += x * x, sxy += x * y;
        }
        sxx -= sx * sx / n;
        sxy -= sx * sy / n;
        return sxx > 0 ? std::max(0.0, sxy / sxx) : 0;
    }

private:
    static constexpr std::chrono::seconds kWindow{5};
    static constexpr double kMinSpan = 1.0;
    std::deque<Sample> samples_;
};

}  // namespace tarvos
