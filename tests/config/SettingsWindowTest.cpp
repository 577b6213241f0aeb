#include <gtest/gtest.h>

#include <chrono>

#include "config/uSettings.hpp"
#include "widgets/Canvas.hpp"

using namespace tarvos;

namespace {

const char* const kConfig =
    "[config]\n"
    "usercan_changelanguage=true\nusercan_changeautoclose=true\nusercan_changeproxy=true\n"
    "usercan_changedrivetype=false\nusercan_changecheckmethod=true\ndefaultautoclose=true\n"
    "[gameproxys]\n"
    "proxy=Alpha|10.0.0.1|a.ini\nproxy=Beta|10.0.0.2|b.ini\nproxy= alpha |10.0.0.3|c.ini\nproxy=NoBar\n"
    "[lang=1033:English]\n12=Settings\n13=Language\n14=Close after start\n20=Proxy\n22=Disk\n23=Check\n"
    "[lang=1049:Russian]\n12=Nastroiki\n13=Yazyk\n";

// Records what the controller asks of its window; the modal showing runs a given action.
class RecordingView : public SettingsView {
public:
    std::vector<std::string> calls;
    std::vector<int> widths;
    std::function<void(TForm&)> whileShown;

    void FormChanged(const TForm&) override { calls.push_back("form"); }
    void OutlineChanged(const TForm&) override { calls.push_back("outline"); }
    void BoundsChanged(const TForm& form) override { widths.push_back(form.Width); }
    TModalResult ShowModal(TForm& form) override {
        calls.push_back("modal");
        if (whileShown) whileShown(form);
        return TModalResult::Ok;
    }
    void CloseModal(TModalResult) override { calls.push_back("close"); }
};

struct Settings {
    explicit Settings(const std::string& extraConfig = {}) {
        config.ParseConfig(kConfig + extraConfig);
        Bitmap background = MakeBitmap(3, 2, RgbColor(255, 0, 255));
        FillArea(background, 1, 0, 3, 2, RgbColor(1, 2, 3));
        skin.BackGroundImage.image = background;
        window = std::make_unique<TFSettings>(TFSettings::Deps{config, skin, user, texts, view, loop});
    }
    tConfigData config;
    TtucConfigWindow skin;
    TUserSettings user;
    TLanguageArray texts{};
    RecordingView view;
    EventLoop loop;
    std::unique_ptr<TFSettings> window;
};

}  // namespace

TEST(SettingsWindow, ShowsTheUsersChoicesWithinTheConfiguredSwitches) {
    Settings s;
    TFSettings& w = *s.window;
    EXPECT_EQ(w.Box_Language.Items, (std::vector<std::string>{"English", "Russian"}));
    EXPECT_EQ(w.Form.Outline, (std::vector<RegionRect>{{1, 0, 3, 2}}));
    EXPECT_EQ(s.view.calls, (std::vector<std::string>{"outline", "form"}));

    s.config.SetLanguageArray(1033, s.texts);
    s.user = {.LangConst = 1049,
              .AutoClose = false,
              .SelProxy = "ALPHA",
              .DriveType = "SSD",
              .CheckMode = "medium: SIZE & date"};
    EXPECT_EQ(w.ShowModal(), TModalResult::Ok);
    EXPECT_EQ(w.Box_Language.ItemIndex, 1);
    EXPECT_FALSE(w.Check_Autoclose.Checked) << "the user's choice, not the configured default";
    EXPECT_TRUE(w.Check_Autoclose.Enabled);
    EXPECT_EQ(w.Box_Proxy.Items, (std::vector<std::string>{"Auto", "Alpha", "Beta", "alpha", ""}));
    EXPECT_EQ(w.Box_Proxy.ItemIndex, 3) << "the last proxy of that name";
    EXPECT_FALSE(w.Box_DriveType.Enabled);
    EXPECT_EQ(w.Box_DriveType.Text(), "HDD") << "a drive type the user may not change is HDD";
    EXPECT_EQ(w.Box_CheckType.ItemIndex, 1);
    EXPECT_EQ(w.Text_Title.Caption, "Settings");
    EXPECT_EQ(w.Text_CheckType.Caption, "Check");
    EXPECT_EQ(w.Text_Autoclose.Caption, "Close after start");
    EXPECT_EQ(w.Text_DriveType.Caption, "Disk");
    EXPECT_EQ(w.Form.Width, 520) << "no grow-in without the switch";

    // An unknown check mode keeps the last selection; the user's proxy choice can vanish.
    s.user.CheckMode = "Thorough";
    s.user.SelProxy = "gamma";
    w.ShowModal();
    EXPECT_EQ(w.Box_CheckType.ItemIndex, 1);
    EXPECT_EQ(w.Box_Proxy.ItemIndex, 0);
}

TEST(SettingsWindow, SwitchesThatForbidAChangeDisableAndResetTheBoxes) {
    Settings s(
        "[config]\nusercan_changeproxy=false\nusercan_changelanguage=false\nusercan_changedrivetype=true\n");
    TFSettings& w = *s.window;
    s.user.SelProxy = "Beta";
    s.user.DriveType = "hDd";
    w.ShowModal();
    EXPECT_EQ(w.Box_Proxy.Items, (std::vector<std::string>{"Auto"}));
    EXPECT_EQ(w.Box_Proxy.ItemIndex, 0);
    EXPECT_FALSE(w.Box_Proxy.Enabled);
    EXPECT_EQ(w.Box_DriveType.ItemIndex, 0) << "HDD in any letter case";
    s.user.DriveType = "";
    w.ShowModal();
    EXPECT_EQ(w.Box_DriveType.ItemIndex, 1) << "anything else is SSD";

    // A disabled language box changes nothing.
    w.Box_Language.ItemIndex = 1;
    w.Box_Language.OnChange();
    EXPECT_EQ(s.user.LangConst, 0);
    EXPECT_EQ(w.Text_Title.Caption, "");
}

TEST(SettingsWindow, ChoosingALanguageAppliesItAtOnce) {
    Settings s;
    TFSettings& w = *s.window;
    s.config.SetLanguageArray(1033, s.texts);
    w.ShowModal();
    EXPECT_EQ(w.Text_Language.Caption, "Language");
    w.Box_Language.ItemIndex = 1;
    w.Box_Language.OnChange();
    EXPECT_EQ(s.user.LangConst, 1049);
    EXPECT_EQ(s.config.LangName, "Russian");
    EXPECT_EQ(w.Text_Title.Caption, "Nastroiki");
    EXPECT_EQ(w.Text_Language.Caption, "Yazyk");
    EXPECT_EQ(w.Text_Proxy.Caption, "Proxy") << "a text the language lacks stays";
    EXPECT_EQ(s.view.calls.back(), "form");
}

TEST(SettingsWindow, SkinPlacesTheExistingWidgetsAndKeepsTheLabelFace) {
    Settings s;
    TFSettings& w = *s.window;
    s.skin.Text_Proxy.parameters = {"Left=10", "Size=9", "Italic=true", "Visible=true"};
    s.skin.Box_Proxy.parameters = {"Left=200", "Width=120", "Height=22", "Visible=true", "Enabled=true"};
    const size_t widgets = w.Form.Controls().size();
    s.skin.SetDataToForm(w.Form);
    EXPECT_EQ(w.Form.Controls().size(), widgets);
    EXPECT_EQ(w.Text_Proxy.Left, 10);
    EXPECT_EQ(w.Text_Proxy.Font.Size, 9);
    EXPECT_TRUE(w.Text_Proxy.Font.Italic);
    EXPECT_EQ(w.Text_Proxy.Font.Name, "MS Sans Serif");
    EXPECT_EQ(w.Box_Proxy.Width, 120);
    EXPECT_EQ(w.Box_Proxy.Color, 4870746u) << "the boxes keep their own colours";
    EXPECT_FALSE(w.Text_Title.Visible) << "an element without parameters hides its widget";
    EXPECT_EQ(w.Text_Title.Font.Color, 0u);
}

TEST(SettingsWindow, GrowsInStepByStepAndAlwaysBackToTheFullWidth) {
    Settings s("[settingwindow]\nfadeeffect=true\n");
    TFSettings& w = *s.window;
    EXPECT_EQ(w.FadeIn.Interval(), 20);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    s.view.whileShown = [&](TForm& form) {
        while (w.FadeIn.Enabled() && std::chrono::steady_clock::now() < deadline) s.loop.WaitAndProcess();
        EXPECT_EQ(form.Width, 520);
    };
    w.ShowModal();
    std::vector<int> expected;
    for (int width = 0; width < 520; width += 10) expected.push_back(width);
    expected.push_back(520);
    EXPECT_EQ(s.view.widths, expected);

    // Closed before the window has grown: the next showing still grows to the full width.
    s.view.whileShown = [&](TForm&) { s.loop.WaitAndProcess(); };
    w.ShowModal();
    EXPECT_EQ(w.Form.Width, 520);
    EXPECT_FALSE(w.FadeIn.Enabled());
    s.view.whileShown = nullptr;
    w.ShowModal();
    EXPECT_EQ(w.FormWidth, 520);
}
