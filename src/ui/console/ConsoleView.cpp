#include "ui/console/ConsoleView.hpp"

#include <algorithm>

namespace tarvos {

namespace {

constexpr int kBarWidth = 24;
constexpr const char* kClearLine = "\r\x1b[K";

std::string Bar(int percent) {
    const int filled = percent * kBarWidth / 100;
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(kBarWidth - filled), '-') + "] " +
           std::string(percent < 10    ? "  "
                       : percent < 100 ? " "
                                       : "") +
           std::to_string(percent) + "%";
}

}  // namespace

void ConsoleView::SetText(MainLabel label, const std::string& text) {
    const auto it = texts_.find(label);
    const bool changed = it == texts_.end() || it->second != text;
    texts_[label] = text;
    if (!changed || text.empty()) return;
    switch (label) {
        case MainLabel::Text_Title:
            Line("== " + text + " ==");
            break;
        case MainLabel::Text_Status:
            // A failure shown in the message panel is often the status as well: once is enough.
            if (text != Text(MainLabel::MsgLabel)) Line(text);
            break;
        case MainLabel::Text_StatusTotal:
            // A terminal shows the total beside its bar; plain output gets it as a line.
            if (!terminal_) Line("  " + text);
            break;
        case MainLabel::MsgLabel:
            if (OnLine) {
                OnLine("message", text);
                break;
            }
            Line(terminal_ ? "\x1b[1;33m>> " + text + "\x1b[0m" : ">> " + text);
            break;
        case MainLabel::Text_LangBoxDescription:
            break;
    }
}

std::string ConsoleView::Text(MainLabel label) const {
    const auto it = texts_.find(label);
    return it == texts_.end() ? std::string() : it->second;
}

void ConsoleView::SetProgressText(const std::string& text) {
    progressText_ = text;
    if (terminal_ && barsShown_ && !quiet_ && !OnLine) DrawBars();
}

void ConsoleView::SetIndicator(MainIndicator indicator, const IndicatorState& state) {
    indicators_[indicator] = state;
    if (OnLine) return;
    if (indicator != MainIndicator::ProgressBar_OneFile && indicator != MainIndicator::ProgressBar_Total)
        return;
    const int file = Percent(MainIndicator::ProgressBar_OneFile);
    const int total = Percent(MainIndicator::ProgressBar_Total);
    if (file == filePercent_ && total == totalPercent_) return;
    filePercent_ = file;
    totalPercent_ = total;
    if (quiet_) return;
    if (terminal_) {
        if (file == 0 && total == 0 && !barsShown_) return;
        DrawBars();
        return;
    }
    // Plain output: a line each time the file's progress reaches another quarter.
    const int quarter = file / 25;
    if (quarter != fileQuarter_) {
        fileQuarter_ = quarter;
        if (quarter > 0) out_ << "  " << Bar(file) << (progressText_.empty() ? "" : "   " + progressText_) << std::endl;
    }
}

IndicatorState ConsoleView::Indicator(MainIndicator indicator) const {
    const auto it = indicators_.find(indicator);
    return it == indicators_.end() ? IndicatorState{} : it->second;
}

bool ConsoleView::Enabled(MainButton button) const {
    const auto it = enabled_.find(button);
    // As the window defines them: only the start button begins disabled.
    return it == enabled_.end() ? button != MainButton::Button_StartGame : it->second;
}

bool ConsoleView::Visible(MainButton button) const {
    const auto it = visible_.find(button);
    return it == visible_.end() ? button != MainButton::Button_CheckAllFiles : it->second;
}

void ConsoleView::Navigate(const std::string& url) {
    if (!newsShown_) {
        newsShown_ = true;
        Line("News: " + url);
    }
    if (OnNavigated) OnNavigated();
}

void ConsoleView::ShowMessage(const std::string& text) {
    if (OnLine) {
        OnLine("message", text);
        return;
    }
    if (terminal_ && barsShown_) out_ << kClearLine;
    barsShown_ = false;
    out_ << text << std::endl;
}

void ConsoleView::Note(const std::string& text) { Line(text); }

void ConsoleView::Finish() {
    if (terminal_ && barsShown_) out_ << kClearLine << std::flush;
    barsShown_ = false;
}

void ConsoleView::Line(const std::string& text) {
    if (OnLine) {
        OnLine("status", text);
        return;
    }
    if (quiet_) return;
    if (terminal_ && barsShown_) out_ << kClearLine;
    out_ << text << '\n';
    if (terminal_ && barsShown_) {
        DrawBars();
    } else {
        out_ << std::flush;
    }
}

void ConsoleView::DrawBars() {
    out_ << kClearLine << "  file " << Bar(std::max(filePercent_, 0)) << "   total "
         << Bar(std::max(totalPercent_, 0)) << (progressText_.empty() ? "" : "   " + progressText_) << std::flush;
    barsShown_ = true;
}

int ConsoleView::Percent(MainIndicator indicator) const {
    const IndicatorState s = Indicator(indicator);
    if (s.Max <= s.Min) return 0;
    const int64_t p = (std::clamp(s.Position, s.Min, s.Max) - s.Min) * 100 / (s.Max - s.Min);
    return static_cast<int>(p);
}

}  // namespace tarvos
