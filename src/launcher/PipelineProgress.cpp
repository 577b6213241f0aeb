// The progress displays and status texts of the update pipeline.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "launcher/UserSettings.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/Text.hpp"

namespace tarvos {

int32_t ProgressPercent(int32_t done, int32_t count) {
    if (count <= 0) return 0;
    // The default rounding mode rounds halves to even (12.5 gives 12).
    return static_cast<int32_t>(std::nearbyint(static_cast<double>(done) * 100.0 / count));
}

void TFMain::ForOneFile(const std::function<void(IndicatorState&, MainIndicator)>& change) {
    for (MainIndicator i : {MainIndicator::ProgressBar_OneFile, MainIndicator::Gauge_OneFile}) {
        IndicatorState s = view_.Indicator(i);
        change(s, i);
        view_.SetIndicator(i, s);
    }
}

void TFMain::ForTotal(const std::function<void(IndicatorState&, MainIndicator)>& change) {
    for (MainIndicator i : {MainIndicator::ProgressBar_Total, MainIndicator::Gauge_Total}) {
        IndicatorState s = view_.Indicator(i);
        change(s, i);
        view_.SetIndicator(i, s);
    }
}

void TFMain::ResetOneFile(int64_t maximum) {
    ForOneFile([&](IndicatorState& s, MainIndicator) { s = IndicatorState{0, maximum, 0, 1}; });
}

void TFMain::OneFileToWidths() {
    ForOneFile([this](IndicatorState& s, MainIndicator i) { s.Max = view_.Width(i); });
}

void TFMain::SetOneFilePosition(int64_t position, bool repaint) {
    ForOneFile([&](IndicatorState& s, MainIndicator) { s.Position = position; });
    if (repaint) {
        view_.Repaint(MainIndicator::ProgressBar_OneFile);
        view_.Repaint(MainIndicator::Gauge_OneFile);
    }
}

void TFMain::SetTotalPosition(int64_t position) {
    ForTotal([&](IndicatorState& s, MainIndicator) { s.Position = position; });
}

void TFMain::TotalToMaximum() {
    ForTotal([](IndicatorState& s, MainIndicator) { s.Position = s.Max; });
}

void TFMain::SetTotalPercent(int32_t done, int32_t count) {
    view_.SetText(MainLabel::Text_StatusTotal, Lang(24) + std::to_string(ProgressPercent(done, count)) + "%");
}

void TFMain::EnterReady(int statusText) {
    TotalToMaximum();
    view_.SetText(MainLabel::Text_StatusTotal, Lang(24) + "100%");
    view_.SetText(MainLabel::Text_Status, Lang(statusText));
    view_.SetEnabled(MainButton::Button_StartGame, true);
    view_.SetCursor(MainButton::Button_StartGame, MainCursor::Hand);
    view_.SetVisible(MainButton::Button_CheckAllFiles, true);
    ready_ = true;
}

void TFMain::OneHashCheched(TMHThreads&, const std::string& filename, const std::string&, int64_t, double) {
    view_.SetText(MainLabel::Text_Status, Lang(2) + filename);
    ForOneFile([](IndicatorState& s, MainIndicator) { s.Position = std::min(s.Position + s.Step, s.Max); });
    view_.Repaint(MainLabel::Text_Status);
    view_.Repaint(MainIndicator::ProgressBar_OneFile);
    view_.Repaint(MainIndicator::Gauge_OneFile);
}

void TFMain::SetLimitRate(int64_t bytesPerSecond) {
    User.LimitRate = std::max<int64_t>(bytesPerSecond, 0);
    DM->SetLimitRate(User.LimitRate);
}

void TFMain::FollowLimitRateFile() {
    std::error_code ec;
    const auto stamp = std::filesystem::last_write_time(PathFromUtf8(UserSettingsFile(TmpPath)), ec);
    // No file is a state of its own: one that appears later is a change.
    const int64_t now = ec ? -1 : stamp.time_since_epoch().count();
    // The first look only notes the date: the file then holds what this run started with.
    if (limitFileStamp_ != 0 && now != limitFileStamp_) SetLimitRate(ReadLimitRate(TmpPath));
    limitFileStamp_ = now;
}

void TFMain::Emit(TRunEvent event) {
    if (!OnRunEvent) return;
    try {
        OnRunEvent(event);
    } catch (const std::exception&) {
        // A display that fails must not end the update.
    }
}

void TFMain::UpdateDMProgress(TDownloadMultiThread&, int64_t loaded, int64_t size) {
    FollowLimitRateFile();
    if (planTotal_ > 0) {
        TRunEvent e;
        e.kind = TRunEvent::Kind::Progress;
        e.phase = "downloading";
        e.file = planFile_;
        // Files fetched without asking their size first count by the size their responses
        // told as soon as they have.
        e.total = planTotal_ + (ahead_ ? ahead_->SizesLearned() : 0);
        // Files fetched ahead count with the bytes that have arrived of them.
        const int64_t ahead = ahead_ ? ahead_->BytesAhead() : 0;
        e.done = std::min(planDone_ + std::max<int64_t>(loaded, 0) + ahead, e.total);
        e.inflight = 1 + (ahead_ ? ahead_->InFlight() : 0);
        rate_.Add(e.done);
        e.rate = rate_.Rate();
        if (e.rate > 0) e.eta = static_cast<double>(e.total - e.done) / e.rate;
        Emit(e);
    }
    if (size <= 0) return;  // nothing known yet: no fraction to show
    for (MainIndicator i : {MainIndicator::ProgressBar_OneFile, MainIndicator::Gauge_OneFile}) {
        IndicatorState s = view_.Indicator(i);
        s.Position = static_cast<int64_t>(std::nearbyint(
            static_cast<double>(loaded) / static_cast<double>(size) * static_cast<double>(s.Max)));
        view_.SetIndicator(i, s);
        view_.Repaint(i);
    }
}

}  // namespace tarvos
