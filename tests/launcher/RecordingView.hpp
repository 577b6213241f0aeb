#pragma once
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "launcher/MainView.hpp"

namespace tarvos::test {

// A main view that keeps every widget's state and records the label texts in order.
class RecordingView : public MainView {
public:
    void SetText(MainLabel label, const std::string& text) override {
        texts_[label] = text;
        (label == MainLabel::Text_Status ? Status : Total).push_back(text);
        if (Print) std::printf("%s: %s\n", label == MainLabel::Text_Status ? "status" : "total", text.c_str());
    }
    std::string Text(MainLabel label) const override {
        auto it = texts_.find(label);
        return it == texts_.end() ? std::string() : it->second;
    }
    void SetIndicator(MainIndicator indicator, const IndicatorState& state) override {
        indicators_[indicator] = state;
        if (state.Position < state.Min || state.Position > state.Max) ++OutOfRange;
    }
    IndicatorState Indicator(MainIndicator indicator) const override {
        auto it = indicators_.find(indicator);
        return it == indicators_.end() ? IndicatorState{} : it->second;
    }
    int Width(MainIndicator indicator) const override {
        return indicator == MainIndicator::ProgressBar_OneFile || indicator == MainIndicator::ProgressBar_Total ? 527
                                                                                                               : 200;
    }
    void SetEnabled(MainButton button, bool enabled) override { (button == MainButton::Button_StartGame ? StartEnabled : CheckAllEnabled) = enabled; }
    void SetVisible(MainButton button, bool visible) override {
        if (button == MainButton::Button_CheckAllFiles) CheckAllVisible = visible;
    }
    void SetCursor(MainButton button, MainCursor cursor) override {
        if (button == MainButton::Button_StartGame) StartCursor = cursor;
    }
    void Repaint(MainLabel) override { ++Repaints; }
    void Repaint(MainIndicator) override { ++Repaints; }

    // The window half.
    void SetHint(MainButton button, const std::string& hint) override { Hints[button] = hint; }
    void SetPanelVisible(MainPanel panel, bool visible) override { PanelShown[panel] = visible; }
    bool PanelVisible(MainPanel panel) const override {
        auto it = PanelShown.find(panel);
        return it != PanelShown.end() && it->second;
    }
    void SetPanelHeight(MainPanel, int pixels) override { MsgHeights.push_back(pixels); }
    void SetClientSize(int width, int height) override { ClientWidth = width, ClientHeight = height; }
    void SetPosition(int left, int top) override { PosLeft = left, PosTop = top; }
    bool HasPlace() const override { return true; }
    int Left() const override { return PosLeft; }
    int Top() const override { return PosTop; }
    int WindowWidth() const override { return ClientWidth; }
    int WindowHeight() const override { return ClientHeight; }
    int ScreenWidth() const override { return 1280; }
    int ScreenHeight() const override { return 1024; }
    void SetTransparency(bool on, int opacity) override {
        Transparent = on;
        Opacities.push_back(opacity);
    }
    int Opacity() const override { return Opacities.empty() ? 255 : Opacities.back(); }
    void Navigate(const std::string& url) override {
        Navigations.push_back(url);
        if (WhenNavigating) WhenNavigating();
    }
    void HideToTray() override { InTray = true; }
    void ShowFromTray() override { InTray = false; }
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }

    std::map<MainButton, std::string> Hints;
    std::map<MainPanel, bool> PanelShown;
    std::vector<int> MsgHeights, Opacities;
    int ClientWidth = 0, ClientHeight = 0, PosLeft = 0, PosTop = 0;
    bool Transparent = false, InTray = false;
    std::vector<std::string> Navigations, Messages;
    std::function<void()> WhenNavigating;

    std::vector<std::string> Status, Total;
    bool StartEnabled = false, CheckAllEnabled = true, CheckAllVisible = false;
    MainCursor StartCursor = MainCursor::NoEntry;
    int Repaints = 0;
    int OutOfRange = 0;
    bool Print = false;

private:
    std::map<MainLabel, std::string> texts_;
    std::map<MainIndicator, IndicatorState> indicators_;
};

}  // namespace tarvos::test
