#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Bitmap.hpp"
#include "platform/RegionData.hpp"

namespace tarvos {

// The main window's widgets as the controller names them.
enum class MainLabel { Text_Status, Text_StatusTotal, Text_Title, Text_LangBoxDescription, MsgLabel };
// Each progress display is a widget of its own: a bar and a gauge show the same value but
// have their own widths, and the download progress is scaled to each one's width.
enum class MainIndicator { ProgressBar_OneFile, Gauge_OneFile, ProgressBar_Total, Gauge_Total };
enum class MainButton {
    Button_StartGame,
    Button_CheckAllFiles,
    Button_Cancel,
    Button_Close,
    Button_Minimize,
    Button_Config
};
enum class MainPanel { WebPanel, MsgPanel };
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
//
// The window half (position, opacity, panels, web view, tray) has defaults that fit a view
// without a window: nothing to move, fade or hide. The web view reports the outcome of a
// navigation back through the controller's WebBrowser1... handlers.
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

    // ---- the window ----
    virtual bool Enabled(MainButton) const { return true; }
    virtual void SetHint(MainButton, const std::string& /*hint*/) {}
    // The message panel slides open by its height; the web panel frames the news page.
    virtual void SetPanelVisible(MainPanel, bool) {}
    virtual bool PanelVisible(MainPanel) const { return false; }
    virtual void SetPanelHeight(MainPanel, int /*pixels*/) {}
    virtual void RepaintPanel(MainPanel) {}

    // The window's client size and its background with the outline (none: rectangular).
    virtual void SetClientSize(int /*width*/, int /*height*/) {}
    virtual void SetBackground(const Bitmap& /*picture*/, const std::optional<std::vector<RegionRect>>& /*outline*/) {}
    virtual void SetPosition(int /*left*/, int /*top*/) {}
    // Whether the view is a window with a place on the screen. A view without one keeps the
    // saved place as it was loaded, so that it never overwrites the windowed launcher's.
    virtual bool HasPlace() const { return false; }
    virtual int Left() const { return 0; }
    virtual int Top() const { return 0; }
    virtual int WindowWidth() const { return 0; }
    virtual int WindowHeight() const { return 0; }
    virtual int ScreenWidth() const { return 0; }
    virtual int ScreenHeight() const { return 0; }
    // Window opacity 0..255; transparency off shows the window fully opaque.
    virtual void SetTransparency(bool /*on*/, int /*opacity*/) {}
    virtual int Opacity() const { return 255; }

    // Starts navigating the web view; the outcome comes back through the controller.
    virtual void Navigate(const std::string& /*url*/) {}
    // Minimise to the tray and back.
    virtual void HideToTray() {}
    virtual void ShowFromTray() {}
    // A modal message box with the text.
    virtual void ShowMessage(const std::string& /*text*/) {}
};

}  // namespace tarvos
