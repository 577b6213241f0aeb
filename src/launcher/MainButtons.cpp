// The main window's buttons: start the game, settings, close.
#include "launcher/UserSettings.hpp"
#include "launcher/uMainForm.hpp"

namespace tarvos {

void TFMain::Button_StartGameClick() {
    TGameStartInput input;
    input.LangFolderMap = config_->Config.LangFolder;
    input.LangFolder = LangFolder;
    input.UseProxy = config_->ProxyServers.UseProxy;
    input.ProxyLine = Proxies ? Proxies->ProxyLine : std::string();
    input.AutoClose = AutoClose;
    input.MainPath = MainPath;
    const ProgramStarter start = OnStartProgram ? OnStartProgram : [this](const TProgramStart& s) {
        shell_.StartElevated(s.File, s.Parameters, s.Folder);
    };
    if (StartGame(input, start)) Button_CloseClick();
}

void TFMain::Button_ConfigClick() {
    if (!settings_ || !Proxies) return;
    TFSettings& s = *settings_;
    const TWindowPlace place = SettingsWindowPlace(view_.Left(), view_.Top(), view_.WindowWidth(),
                                                   view_.WindowHeight(), s.Form.Width, s.Form.Height);
    s.Form.Left = place.Left;
    s.Form.Top = place.Top;
    s.ShowModal();  // every way of closing applies the choices
    TSettingsChoice choice;
    choice.AutoCloseEnabled = s.Check_Autoclose.Enabled;
    choice.AutoCloseChecked = s.Check_Autoclose.Checked;
    choice.ProxyEnabled = s.Box_Proxy.Enabled;
    choice.ProxyIndex = s.Box_Proxy.ItemIndex;
    choice.ProxyText = s.Box_Proxy.Text();
    choice.DriveTypeEnabled = s.Box_DriveType.Enabled;
    choice.DriveTypeIndex = s.Box_DriveType.ItemIndex;
    choice.CheckTypeEnabled = s.Box_CheckType.Enabled;
    choice.CheckTypeIndex = s.Box_CheckType.ItemIndex;
    ApplySettingsChoice(choice, User, *Proxies);
    DM->SetLimitRate(User.LimitRate);
    view_.SetText(MainLabel::Text_LangBoxDescription, Lang(25));
    WebHandlersAttached = false;
    try {
        if (NewsURL != Lang(0)) {
            NewsURL = Lang(0);
            if (!NewsURL.empty()) view_.Navigate(NewsURL);
        }
    } catch (const std::exception&) {
    }
}

void TFMain::Button_CloseClick() {
    SaveIniFile();
    ReleaseFloatingPoint();
    // A run may be waiting further down this thread's stack (a download, the hash workers):
    // they are stopped and end the process from their waits once the loop terminates; the
    // lists and the downloader themselves go with the controller.
    DM->Stop();
    loop_.Terminate();
}

}  // namespace tarvos
