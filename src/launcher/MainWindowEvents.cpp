// The main window's own events: message panel, fade-in, dragging, tray and the web view.
#include "launcher/uMainForm.hpp"
#include "platform/OutsideLink.hpp"
#include "platform/Text.hpp"

namespace tarvos {

void TFMain::MsgShow(const std::string& text) {
    view_.SetText(MainLabel::MsgLabel, text);
    view_.Repaint(MainLabel::MsgLabel);
    // An open panel only changes its text; its ten seconds are not started again.
    if (!view_.PanelVisible(MainPanel::MsgPanel)) MsgTimer.SetEnabled(true);
}

void TFMain::MsgTimerTimer() {
    ++MsgTimerTag;
    view_.SetPanelVisible(MainPanel::MsgPanel, true);
    view_.SetPanelHeight(MainPanel::MsgPanel, MsgTimerTag * 5);
    view_.RepaintPanel(MainPanel::MsgPanel);
    if (MsgTimerTag >= 9) {
        MsgTimer.SetEnabled(false);
        MsgTimer2.SetEnabled(true);
    }
}

void TFMain::MsgTimer2Timer() { MsgCloseBtnClick(); }

void TFMain::MsgCloseBtnClick() {
    MsgTimerTag = 0;
    MsgTimer.SetEnabled(false);
    MsgTimer2.SetEnabled(false);
    view_.SetPanelVisible(MainPanel::MsgPanel, false);
    view_.RepaintPanel(MainPanel::MsgPanel);
}

void TFMain::FadeTimerTimer() {
    const int opacity = view_.Opacity();
    if (opacity <= 224) {
        view_.SetTransparency(true, opacity + 30);
        return;
    }
    FadeTimer.SetEnabled(false);
    view_.SetTransparency(false, 255);
}

void TFMain::FormMouseDown(int x, int y) {
    Draging = true;
    X0 = x;
    Y0 = y;
}

void TFMain::FormMouseMove(int x, int y) {
    if (Draging) view_.SetPosition(view_.Left() + x - X0, view_.Top() + y - Y0);
}

void TFMain::FormMouseUp() { Draging = false; }

void TFMain::MinimizeButtonClick() { view_.HideToTray(); }

void TFMain::RxTrayIcon1Click() { view_.ShowFromTray(); }

bool TFMain::WebBrowser1BeforeNavigate2(const std::string& url, bool byPlayer) {
    if (LowerUser(url) == LowerUser(NewsURL)) return false;
    // Only the news page itself stays in the panel; web and mail links the player clicks open
    // outside. Any other target is cancelled here and starts nothing: a script, redirect or
    // frame of a page fetched over plain HTTP must not open a program, a share or a window.
    const std::string link = OpenableLink(url);
    if (!link.empty() && byPlayer) {
        shell_.OpenUrl(link);
    } else {
        Log((link.empty() ? "Refused link: " : "Refused link, not clicked: ") + url);
    }
    return true;
}

// The first showing waits for one of these two. Once the settings window has detached them
// they no longer touch the panel, but they still end that wait: a news page still loading
// when the settings window was used would otherwise keep the run from ever starting.
void TFMain::WebBrowser1NavigateComplete2() {
    NavigationFinished = true;
    if (!WebHandlersAttached) return;
    view_.SetPanelVisible(MainPanel::WebPanel, true);
    view_.RepaintPanel(MainPanel::WebPanel);
    loop_.ProcessMessages();
}

void TFMain::WebBrowser1NavigateError() {
    NavigationFinished = true;
    if (!WebHandlersAttached) return;
    view_.SetPanelVisible(MainPanel::WebPanel, false);
    view_.RepaintPanel(MainPanel::WebPanel);
    loop_.ProcessMessages();
}

}  // namespace tarvos
