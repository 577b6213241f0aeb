// The main window's creation and first showing.
#include <cfenv>

#include "launcher/UserSettings.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/FileSystem.hpp"
#include "platform/RandomAccessFile.hpp"
#include "platform/SystemLanguage.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {

std::string FolderOf(const std::string& path) {
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

// Kept from FormCreate to the close: the program runs with every floating-point exception
// masked, as the libraries it hosts expect.
std::fenv_t g_savedFloatingPoint;

}  // namespace

void TFMain::Attach(tConfigData& config, const TtucConfig& skin, TFSettings* settings) {
    config_ = &config;
    skin_ = &skin;
    settings_ = settings;
    OwnedFiles = TOwnedFiles(config.Config.OwnedFiles);
}

void TFMain::FormCreate(const std::vector<std::string>& args) {
    const TtucBackGround& background = skin_->MainWindow.BackGroundImage;
    if (background.image.width <= 0) {
        view_.ShowMessage("Sorry! Not found the config");
        OnEndProcess(0);
        return;
    }
    view_.SetClientSize(background.image.width, background.image.height);
    MainPath = FolderOf(ExecutablePath());
    TmpPath = MainPath + "\\updater";
    if (!args.empty()) {
        const std::string& arg = args.front();
        const auto eq = arg.find('=');
        const std::string key = eq == std::string::npos ? std::string() : arg.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : arg.substr(eq + 1);
        if (LowerUser(key) == "filemode" && !value.empty()) {
            FileModeOn = true;
            FileModeFolder = value.back() == '\\' ? value : value + "\\";
        }
    }
    LoadIniFile();
    ApplyRestrictions(User, config_->Config);
    if (LangConst != 0) {
        config_->SetLanguageArray(LangConst, lang_);
    } else {
        config_->SetLanguageArray(SystemLanguageId(), lang_);
        LangConst = config_->LangNum;
    }
    Proxies = std::make_unique<TProxyCheck>(config_->ProxyServers, lang_, loop_);
    Proxies->OnMsgShow = [this](const std::string& text) { MsgShow(text); };
    Proxies->OnStatus = [this](const std::string& text) {
        view_.SetText(MainLabel::Text_Status, text);
        view_.Repaint(MainLabel::Text_Status);
    };
    Proxies->ResolveSelProxy(SelProxy);
    SetLanguage();
    if (!config_->MainWindow.Caption.empty()) view_.SetText(MainLabel::Text_Title, config_->MainWindow.Caption);
    if (config_->MainWindow.FadeEffect) view_.SetTransparency(true, 0);
    view_.SetText(MainLabel::Text_LangBoxDescription, Lang(25));
    const std::string bak = MainPath + "\\" + ExeName + ".bak";
    if (FileExistsUtf8(bak)) DeleteFileUtf8(bak);
    if (!FolderExistsUtf8(TmpPath)) CreateFolderUtf8(TmpPath);
    Required->Clear();
    NewFileList->Clear();
    CheckAll->Clear();
    OldFileList->Clear();
    DM->SetThreads(6);
    DM->SetLimitRate(User.LimitRate);
    DM->TmpFolder = TmpPath + "\\";
    LoadDatConfig();
    if (!fpHeld_) {
        std::feholdexcept(&g_savedFloatingPoint);
        fpHeld_ = true;
    }
    view_.SetBackground(background.image, background.GetRegion());
}

void TFMain::SetLanguage() {
    view_.SetHint(MainButton::Button_StartGame, Lang(9));
    view_.SetHint(MainButton::Button_CheckAllFiles, Lang(8));
}

void TFMain::FormShow() {
    if (_oneshot) return;
    _oneshot = true;
    // A failure here leaves the run unstarted rather than ending the launcher.
    try {
        if (MainLeft == -1 || MainTop == -1)
            view_.SetPosition(view_.ScreenWidth() / 2 - view_.WindowWidth() / 2,
                              view_.ScreenHeight() / 2 - view_.WindowHeight() / 2);
        else
            view_.SetPosition(MainLeft, MainTop);
        NewsURL = Lang(0);
        NavigationFinished = false;
        if (!NewsURL.empty()) {
            view_.Navigate(NewsURL);
            while (!NavigationFinished && !loop_.Terminated()) loop_.WaitAndProcess();
        }
        MainTimer.SetEnabled(true);
    } catch (const std::exception&) {
    }
}

void TFMain::LoadIniFile() {
    tarvos::LoadIniFile(TmpPath, User, *config_);
    FollowLimitRateFile();  // notes the file as read: only later changes are taken over
}

bool TFMain::SaveIniFile() {
    const std::string langName = config_ ? config_->LangName : std::string();
    const bool placed = view_.HasPlace();
    if (tarvos::SaveIniFile(TmpPath, User, placed ? view_.Left() : MainLeft, placed ? view_.Top() : MainTop, langName))
        return true;
    Log("Cannot write the settings file " + TmpPath + "\\TarvosII.ini");
    return false;
}

void TFMain::LoadDatConfig() { tarvos::LoadDatConfig(TmpPath); }

void TFMain::ReleaseFloatingPoint() {
    if (!fpHeld_) return;
    std::fesetenv(&g_savedFloatingPoint);
    fpHeld_ = false;
}

}  // namespace tarvos
