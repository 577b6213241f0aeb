#pragma once
#include <cstdint>
#include <string>

#include "config/SettingsView.hpp"
#include "config/TarvosUpdateConfig.hpp"
#include "config/uConfigData.hpp"
#include "platform/EventLoop.hpp"
#include "widgets/Controls.hpp"
#include "widgets/Form.hpp"

namespace tarvos {

// The user's own choices as the main window keeps them and the settings file stores them.
// The most transfers a repair keeps in flight at once, whatever the settings say.
inline constexpr std::int32_t kMaxTransfers = 64;

struct TUserSettings {
    std::int32_t MainLeft = -1, MainTop = -1;
    std::int32_t LangConst = 0;
    bool AutoClose = false;
    std::string SelProxy = "auto";
    std::string DriveType = "HDD";
    std::string CheckMode = "Hard: MD5 Hash";
    std::string LangFolder = "default";
    std::int64_t LimitRate = 0;  // bytes per second for all downloads together; 0: no cap
    std::int32_t Transfers = 0;  // transfers in flight at once in a repair; 0: the default
};

// The settings window's controller: fills the choices from the user's settings and the
// configuration's switches, applies a language change at once and grows the window in.
class TFSettings {
public:
    struct Deps {
        tConfigData& config;
        const TtucConfigWindow& skin;
        TUserSettings& user;    // the main window's choices
        TLanguageArray& texts;  // the language texts every window shows
        SettingsView& view;
        EventLoop& loop;
    };
    // Builds the window's widgets and runs FormCreate.
    explicit TFSettings(Deps deps);

    TForm Form;
    TImage& BackgroundImage;
    TLabel &Text_Title, &Text_Language, &Text_Autoclose, &Text_Proxy, &Text_DriveType, &Text_CheckType;
    TComboBox& Box_Language;
    TCheckBox& Check_Autoclose;
    TComboBox &Box_Proxy, &Box_DriveType, &Box_CheckType;
    TButton& Button_Ok;
    Timer FadeIn;
    std::int32_t FormWidth = 0;  // the width the grow-in aims at

    void FormCreate();
    void FormShow();
    void FadeInTimer();
    void SetLanguage();
    void Box_LanguageChange();
    void Button_OkClick();

    // FormShow, then the modal showing; returns how the window was closed. A grow-in still
    // running then is finished, so the next showing aims at the full width again.
    TModalResult ShowModal();

private:
    void ApplySwitches();
    void SelectLanguage();
    void FillProxies();

    tConfigData& config_;
    const TtucConfigWindow& skin_;
    TUserSettings& user_;
    TLanguageArray& texts_;
    SettingsView& view_;
};

}  // namespace tarvos
