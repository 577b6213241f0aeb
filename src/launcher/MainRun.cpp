// The run the main window starts once it has been shown: server, list, check, proxies.
#include "launcher/ServerSelection.hpp"
#include "launcher/uMainForm.hpp"

namespace tarvos {

void TFMain::MainTimerTimer() {
    MainTimer.SetEnabled(false);
    if (config_->MainWindow.FadeEffect) FadeTimer.SetEnabled(true);
    ServerSelectionOptions options;
    options.loop = &loop_;
    if (debug_file) options.log = [this](const std::string& line) { Log(line); };
    URLMain = CheckUpdateServers(config_->UpdateServers, options);
    if (loop_.Terminated()) return;
    if (!URLMain.empty()) {
        FetchUpdaterList();
        if (loop_.Terminated()) return;
        CheckingRequiredFiles();
    } else {
        EndRunWithoutServer();
    }
    if (loop_.Terminated()) return;
    LoadProxyList();
}

void TFMain::EndRunWithoutServer() {
    noServer_ = true;
    MsgShow(Lang(15));
    view_.SetText(MainLabel::Text_Status, Lang(15));
    view_.Repaint(MainLabel::Text_Status);
    view_.SetEnabled(MainButton::Button_StartGame, true);
    view_.SetCursor(MainButton::Button_StartGame, MainCursor::Hand);
    ready_ = true;
}

void TFMain::LoadProxyList() {
    if (Proxies) Proxies->LoadProxyList(SelProxy);
}

}  // namespace tarvos
