#pragma once
#include <cstdint>
#include <string>

namespace tarvos {

// The main window's widgets as the controller names them.
enum class MainLabel { Text_Status, Text_StatusTotal };
// Each progress display is a widget of its own: a bar and a gauge show the same value but
// have their own widths, and the download progress is scaled to each one's width.
enum class MainIndicator { ProgressBar_OneFile, Gauge_OneFile, ProgressBar_Total, Gauge_Total };
enum class MainButton { Button_StartGame, Button_CheckAllFiles };
enum class MainCursor { Default, Hand, NoEntry };

struct IndicatorState {
    int64_t Min = 0;
    int64_t Max = 100;
    int64_t Position = 0;
    int64_t Step = 1;
    bool operator==(const IndicatorState&) const = default;
};

// What the controller asks of its main window. The Windows window paints skinned widgets;
// the console view prints; tests record. Setting a value does not paint it: Repaint does,
// as the controller decides when the user is to see a change at once.
class MainView {
public:
    virtual ~MainView() = default;

    virtual void SetText(MainLabel label, const std::string& text) = 0;
    virtual std::string Text(MainLabel label) const = 0;

    virtual void SetIndicator(MainIndicator indicator, const IndicatorState& state) = 0;
    virtual IndicatorState Indicator(MainIndicator indicator) const = 0;
    // The widget's width in pixels (the scale of the download progress).
    virtual int Width(MainIndicator indicator) const = 0;

    virtual void SetEnabled(MainButton button, bool enabled) = 0;
    virtual void SetVisible(MainButton button, bool visible) = 0;
    virtual void SetCursor(MainButton button, MainCursor cursor) = 0;

    virtual void Repaint(MainLabel label) = 0;
    virtual void Repaint(MainIndicator indicator) = 0;
};

}  // namespace tarvos
