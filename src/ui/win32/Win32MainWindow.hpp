#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "launcher/MainView.hpp"
#include "platform/EventLoop.hpp"
#include "widgets/ButtonComps.hpp"
#include "widgets/Form.hpp"

namespace tarvos {

class TFMain;
class Win32WebView;

// The launcher's main window: a borderless window shaped by the skin's outline. It paints
// its form portably (PaintForm), adds the texts with GDI, and forwards the mouse to the image
// buttons, the background drag and the controller's handlers.
class Win32MainWindow final : public MainView {
public:
    Win32MainWindow(EventLoop& loop, const std::string& title);
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    HWND Handle() const { return hwnd_; }
    // The widgets; after changing them from outside (the skin), call FormChanged.
    TForm& Form() { return form_; }
    void FormChanged();
    // The controller whose handlers the window's events go to.
    void Connect(TFMain& main);
    void SetTitle(const std::string& title);
    void SetTrayHint(const std::string& hint);
    // The first showing: the window appears where the controller places it.
    void ShowFirst();
    // The launcher is about to start its replacement and end: the window leaves the screen
    // and gives up the instance name, so that the new copy does not take it for a running one.
    void LeaveInstance();

    void SetText(MainLabel label, const std::string& text) override;
    std::string Text(MainLabel label) const override;
    void SetIndicator(MainIndicator indicator, const IndicatorState& state) override;
    IndicatorState Indicator(MainIndicator indicator) const override;
    int Width(MainIndicator indicator) const override;
    void SetEnabled(MainButton button, bool enabled) override;
    void SetVisible(MainButton button, bool visible) override;
    void SetCursor(MainButton button, MainCursor cursor) override;
    void Repaint(MainLabel label) override;
    void Repaint(MainIndicator indicator) override;

    bool Enabled(MainButton button) const override;
    void SetHint(MainButton button, const std::string& hint) override;
    void SetPanelVisible(MainPanel panel, bool visible) override;
    bool PanelVisible(MainPanel panel) const override;
    void SetPanelHeight(MainPanel panel, int pixels) override;
    void RepaintPanel(MainPanel panel) override;
    void SetClientSize(int width, int height) override;
    void SetBackground(const Bitmap& picture, const std::optional<std::vector<RegionRect>>& outline) override;
    void SetPosition(int left, int top) override;
    bool HasPlace() const override { return true; }
    int Left() const override;
    int Top() const override;
    int WindowWidth() const override;
    int WindowHeight() const override;
    int ScreenWidth() const override;
    int ScreenHeight() const override;
    void SetTransparency(bool on, int opacity) override;
    int Opacity() const override { return opacity_; }
    void Navigate(const std::string& url) override;
    void HideToTray() override;
    void ShowFromTray() override;
    void ShowMessage(const std::string& text) override;

private:
    template <class T>
    friend LRESULT CALLBACK ObjectWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Proc(UINT msg, WPARAM wp, LPARAM lp);
    void Paint(HDC dc);
    void TakeSystemColours();
    void RemoveTrayIcon();
    // The window and every window it owns, with the news page.
    void DestroyWindows();
    void DrawTexts(HDC dc);
    void MouseMove(int x, int y);
    void MouseDown(TMouseButton button, int x, int y);
    void MouseUp(TMouseButton button, int x, int y);
    bool SetWindowCursor();
    void Hover(TControl* target);
    void SyncTools();
    void UpdateNow(const TControl* control);
    void Invalidate(const TControl* control);
    // Runs a change of the button's picture, which may change its size: what the old and the
    // new picture cover is painted anew (at once with `now`).
    void Repicture(TImageButton& button, const std::function<void()>& change, bool now = false);
    void InvalidateBoth(const RECT& before, const TControl& button);
    TControl& Widget(MainLabel label) const;
    TControl& Widget(MainIndicator indicator) const;
    TImageButton& Widget(MainButton button) const;
    TControl& Widget(MainPanel panel) const;

    EventLoop& loop_;
    std::string title_;
    TFMain* main_ = nullptr;
    TForm form_;
    HWND hwnd_ = nullptr;
    HWND tips_ = nullptr;
    HWND focus_ = nullptr;  // the hidden focus button
    std::map<MainIndicator, IndicatorState> indicators_;
    std::unique_ptr<Win32WebView> web_;
    TControl* hovered_ = nullptr;
    RECT repictured_{};  // the button's place before the picture change that runs now
    TControl* captured_ = nullptr;
    bool dragging_ = false;
    bool tracking_ = false;
    bool showPending_ = false;
    bool shown_ = false;
    bool trayAdded_ = false;
    HWND trayOwner_ = nullptr;
    std::wstring trayHint_ = L"Tarvos";
    int opacity_ = 255;
};

}  // namespace tarvos
