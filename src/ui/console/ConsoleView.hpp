#pragma once
#include <functional>
#include <map>
#include <ostream>
#include <string>

#include "launcher/MainView.hpp"

namespace tarvos {

// The main window as console output: each new status text becomes a line, message-panel
// texts are highlighted, the news URL is named once, and the per-file and total progress
// are bars redrawn in place on a terminal (plain lines at every quarter otherwise).
class ConsoleView : public MainView {
public:
    ConsoleView(std::ostream& out, bool terminal, bool quiet)
        : out_(out), terminal_(terminal), quiet_(quiet) {}

    // Called when a navigation has ended; the console has no web view, so every
    // navigation ends at once (the owner hands this on to the controller).
    std::function<void()> OnNavigated;
    // When set, every line the console would print (status texts, messages, notes) goes
    // here instead, and no bars are drawn: the machine-readable output owns the console.
    std::function<void(const std::string& kind, const std::string& text)> OnLine;
    // Shown beside the bars: bytes done of the whole repair, rate, time left.
    void SetProgressText(const std::string& text);

    void SetText(MainLabel label, const std::string& text) override;
    std::string Text(MainLabel label) const override;
    void SetIndicator(MainIndicator indicator, const IndicatorState& state) override;
    IndicatorState Indicator(MainIndicator indicator) const override;
    int Width(MainIndicator) const override { return 1000; }
    void SetEnabled(MainButton button, bool enabled) override { enabled_[button] = enabled; }
    void SetVisible(MainButton button, bool visible) override { visible_[button] = visible; }
    void SetCursor(MainButton, MainCursor) override {}
    void Repaint(MainLabel) override {}
    void Repaint(MainIndicator) override {}
    bool Enabled(MainButton button) const override;
    bool Visible(MainButton button) const;
    void Navigate(const std::string& url) override;
    void ShowMessage(const std::string& text) override;

    // A line of the console program's own (outside the controller's texts).
    void Note(const std::string& text);
    // Takes the progress bars off the screen before the program ends.
    void Finish();

private:
    void Line(const std::string& text);
    void DrawBars();
    int Percent(MainIndicator indicator) const;

    std::ostream& out_;
    bool terminal_;
    bool quiet_;
    std::map<MainLabel, std::string> texts_;
    std::map<MainIndicator, IndicatorState> indicators_;
    std::map<MainButton, bool> enabled_, visible_;
    int filePercent_ = -1, totalPercent_ = -1;
    int fileQuarter_ = 0;
    bool barsShown_ = false;
    bool newsShown_ = false;
    std::string progressText_;
};

}  // namespace tarvos
