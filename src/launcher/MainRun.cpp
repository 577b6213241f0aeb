// The run the main window starts once it has been shown: server, list, check, proxies.
#include "launcher/ServerSelection.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/Text.hpp"

namespace tarvos {

void TFMain::MainTimerTimer() {
    MainTimer.SetEnabled(false);
    if (config_->MainWindow.FadeEffect) FadeTimer.SetEnabled(true);
    if (!LockGameFolder()) {
        // Another launcher doing the work is no fault; a work folder nobody can use is.
        view_.ShowMessage(folderBusy_ ? std::string(kFolderBusyText) : WorkFolderUnusableText());
        OnEndProcess(folderBusy_ ? 0 : 1);
        return;
    }
    // Held while this run may change files; a launcher waiting at "ready" locks nobody out.
    const FolderUnlock unlock{folderLock_};
    ServerSelectionOptions options;
    options.loop = &loop_;
    options.engine = &DM->Engine();
    if (debug_file) options.log = [this](const std::string& line) { Log(line); };
    URLMain = CheckUpdateServers(config_->UpdateServers, options);
    if (loop_.Terminated()) return;
    FallbackServers.clear();
    for (const std::string& server : config_->UpdateServers.Servers)
        if (server != URLMain && !TrimText(server).empty()) FallbackServers.push_back(server);
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

// Two launchers on one game folder would fetch into the same work file and replace each
// other's files. A launcher that has just replaced itself is still ending while its
// successor starts, so the lock is waited for a while before giving up.
bool TFMain::LockGameFolder() {
    const std::string lockFile = TmpPath + "\\$lock";
    for (int waited = 0; !folderLock_.TryAcquire(lockFile); waited += 250) {
        if (!folderLock_.Busy()) {
            Log("Cannot lock the work folder: " + TmpPath);
            return false;
        }
        if (waited >= kGameFolderLockWaitMs || loop_.Terminated()) {
            folderBusy_ = true;
            Log("Game folder in use by another launcher: " + MainPath);
            return false;
        }
        loop_.WaitAndProcessFor(250);
    }
    RemoveBesideFiles();
    return true;
}

std::string TFMain::WorkFolderUnusableText() const {
    return "The work folder " + PathToUtf8(PathFromUtf8(TmpPath)) +
           " cannot be used: it must be a folder the launcher can write to.";
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
