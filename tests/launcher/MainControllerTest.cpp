// The main window's own rules, driven through the controller with the real event loop and
// timers (shortened) and a recording view: creation, the first showing, the run without a
// server, the message panel, the fade-in, dragging, the web view and closing.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "config/TarvosUpdateConfig.hpp"
#include "launcher/RecordingView.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/Shell.hpp"
#include "platform/Terminate.hpp"
#include "platform/Text.hpp"

namespace tarvos {
namespace {

namespace fs = std::filesystem;

class RecordingShell : public Shell {
public:
    bool OpenUrl(const std::string& url) override {
        Opened.push_back(url);
        return true;
    }
    bool StartElevated(const std::string&, const std::string&, const std::string&) override { return true; }
    std::vector<std::string> Opened;
};

constexpr const char* kConfig =
    "[config]\ninstance=Test\nusercan_changelanguage=true\n"
    "[mainwindow]\ncaption=My Game\nfadeeffect=true\n"
    "[updateservers]\nuseping=true\n"
    "[lang=1033:English]\n0=http://news.example/Page.html\n8=check hint\n9=start hint\n15=no server\n25=game language\n"
    "[lang=1049:Russian]\n0=http://news.example/ru.html\n25=yazyk\n";

// The settings window as the main window drives it: the modal showing runs what the test
// has the user do.
class ModalSettingsView : public SettingsView {
public:
    void FormChanged(const TForm&) override {}
    void OutlineChanged(const TForm&) override {}
    void BoundsChanged(const TForm&) override {}
    TModalResult ShowModal(TForm& form) override {
        if (whileShown) whileShown(form);
        return TModalResult::Ok;
    }
    void CloseModal(TModalResult) override {}
    std::function<void(TForm&)> whileShown;
};

class MainControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        skin_.MainWindow.BackGroundImage.image.width = 40;
        skin_.MainWindow.BackGroundImage.image.height = 30;
        skin_.MainWindow.BackGroundImage.image.pixels.assign(40 * 30 * 4, 0);
        debug_.enabled = true;
        config_.ParseConfig(std::string_view(kConfig));
        main_.Attach(config_, skin_);
        main_.OnEndProcess = [this](int code) { ended_ = code; };
        for (Timer* t : {&main_.MsgTimer, &main_.MsgTimer2, &main_.FadeTimer, &main_.MainTimer}) t->SetInterval(2);
        const std::string exe = ExecutablePath();
        folder_ = PathFromUtf8(exe.substr(0, exe.find_last_of("\\/")));
        bak_ = folder_ / (main_.ExeName + ".bak");
    }
    void TearDown() override {
        fs::remove(bak_);
        fs::remove_all(folder_ / "updater");
        SetApplicationTerminated(false);
    }
    // Processes messages until the condition holds (each step waits for the next event).
    template <class F>
    void RunUntil(F done) {
        while (!done()) MainLoop().WaitAndProcess();
    }

    tConfigData config_;
    TtucConfig skin_;
    TLanguageArray lang_;
    test::RecordingView view_;
    RecordingShell shell_;
    tDebugFile debug_;  // kept in memory only: it has no file name
    TFMain main_{view_, MainLoop(), lang_, shell_, &debug_};
    int ended_ = -1;
    fs::path folder_, bak_;
};

TEST_F(MainControllerTest, CreationShowingAndARunWithoutAServer) {
    std::ofstream(bak_) << "left over from a self-update";
    main_.FormCreate({"FileMode=C:\\Game Source"});
    EXPECT_EQ(ended_, -1);
    EXPECT_TRUE(main_.FileModeOn);
    EXPECT_EQ(main_.FileModeFolder, "C:\\Game Source\\");
    EXPECT_FALSE(fs::exists(bak_));
    EXPECT_TRUE(fs::is_directory(folder_ / "updater"));
    EXPECT_EQ(view_.ClientWidth, 40);
    EXPECT_EQ(view_.Text(MainLabel::Text_Title), "My Game");
    EXPECT_EQ(view_.Text(MainLabel::Text_LangBoxDescription), "game language");
    EXPECT_EQ(view_.Hints[MainButton::Button_StartGame], "start hint");
    EXPECT_EQ(view_.Hints[MainButton::Button_CheckAllFiles], "check hint");
    EXPECT_TRUE(view_.Transparent);
    EXPECT_EQ(view_.Opacities, std::vector<int>{0});

    // The news page fails: the panel stays hidden and the run starts all the same.
    main_.MainTimer.OnTimer([this] {
        main_.MainTimer.SetEnabled(false);
        main_.WebBrowser1NavigateError();
        main_.MainTimer.OnTimer([this] { main_.MainTimerTimer(); });
        main_.MainTimer.SetEnabled(true);
    });
    main_.MainTimer.SetEnabled(true);  // stands in for the web view answering later
    main_.FormShow();
    EXPECT_EQ(view_.PosLeft, 1280 / 2 - 40 / 2) << "no saved position: centred";
    EXPECT_EQ(view_.Navigations, std::vector<std::string>{"http://news.example/Page.html"});
    EXPECT_FALSE(view_.PanelVisible(MainPanel::WebPanel));
    RunUntil([this] { return main_.Ready(); });
    EXPECT_TRUE(main_.NoServer());
    EXPECT_EQ(view_.Text(MainLabel::Text_Status), "no server");
    EXPECT_TRUE(view_.StartEnabled);
    EXPECT_EQ(view_.StartCursor, MainCursor::Hand);
    EXPECT_FALSE(view_.CheckAllVisible);

    // The fade-in ran to full opacity in nine steps; the message panel slid open to 45.
    RunUntil([this] { return !main_.FadeTimer.Enabled() && !main_.MsgTimer.Enabled(); });
    EXPECT_EQ(view_.Opacities, (std::vector<int>{0, 30, 60, 90, 120, 150, 180, 210, 240, 255}));
    EXPECT_FALSE(view_.Transparent);
    EXPECT_EQ(view_.Text(MainLabel::MsgLabel), "no server");
    EXPECT_EQ(view_.MsgHeights, (std::vector<int>{5, 10, 15, 20, 25, 30, 35, 40, 45}));
    // A second message only changes the text of the open panel; then it closes by itself.
    main_.MsgShow("second");
    EXPECT_FALSE(main_.MsgTimer.Enabled());
    EXPECT_EQ(view_.Text(MainLabel::MsgLabel), "second");
    RunUntil([this] { return !view_.PanelVisible(MainPanel::MsgPanel); });
    EXPECT_EQ(main_.MsgTimerTag, 0);
}

// A news page travels over plain HTTP: whatever it navigates to besides web and mail
// addresses the player clicked is cancelled in the panel, starts nothing and leaves one log
// line; a mail link loses its query (attachments, more recipients).
TEST_F(MainControllerTest, OnlyWebAndMailLinksLeaveTheNewsPanel) {
    main_.NewsURL = "http://news.example/Page.html";
    const std::vector<std::string> opened = {"http://elsewhere.example/a?b#c", "HTTPS://Elsewhere.example/",
                                             "hTtP://x.example", "mailto:gm@example.org", "MailTo:gm@example.org?attach=C:\\x"};
    const std::vector<std::string> refused = {
        "file:///C:/Games/evil.exe", "FILE://server/share/x.exe", "\\\\host\\share\\x.exe",
        "//host/share/x.exe", "C:\\Windows\\system32\\calc.exe", "c:/x.exe", "javascript:alert(1)",
        "JavaScript:alert(1)", "vbscript:x", "ms-settings:", "steam://run/1", "about:blank", "res://x.dll/1",
        "../x.exe", "/x.exe", "x.html", "", "http:\\\\host\\x", "http:/x", "http:///x", " http://x.example/",
        "http://x.example/ -foo", "http://x.example/\"x", "mailto:", "http://ex\xC3\xA4mple.example/",
        "http://ex%61mple.example/", "h\xD1\x82tp://x.example/", "mailto:gm@ex\xC3\xA4mple.org"};
    for (const auto& url : opened) EXPECT_TRUE(main_.WebBrowser1BeforeNavigate2(url, true)) << url;
    for (const auto& url : refused) EXPECT_TRUE(main_.WebBrowser1BeforeNavigate2(url, true)) << "cancelled: " << url;
    EXPECT_TRUE(main_.WebBrowser1BeforeNavigate2("http://script.example/", false)) << "not the player's click";
    std::vector<std::string> handed(opened.begin(), opened.end() - 1);
    handed.push_back("MailTo:gm@example.org");
    EXPECT_EQ(shell_.Opened, handed);
    ASSERT_EQ(debug_.ts.size(), refused.size() + 1);
    for (size_t i = 0; i < refused.size(); ++i) EXPECT_EQ(debug_.ts[i], "Refused link: " + refused[i]);
    EXPECT_EQ(debug_.ts.back(), "Refused link, not clicked: http://script.example/");
}

TEST_F(MainControllerTest, DraggingTheWebViewAndClosing) {
    main_.FormCreate({"filemode="});
    EXPECT_FALSE(main_.FileModeOn) << "an empty folder leaves file mode off";
    main_.FormMouseDown(10, 10);
    main_.FormMouseMove(15, 7);
    main_.FormMouseUp();
    main_.FormMouseMove(100, 100);
    EXPECT_EQ(view_.PosLeft, 5);
    EXPECT_EQ(view_.PosTop, -3);

    main_.NewsURL = "http://news.example/Page.html";
    EXPECT_FALSE(main_.WebBrowser1BeforeNavigate2("HTTP://NEWS.EXAMPLE/page.html", false)) << "the news page itself stays";
    EXPECT_TRUE(main_.WebBrowser1BeforeNavigate2("http://elsewhere.example/", true));
    EXPECT_EQ(shell_.Opened, std::vector<std::string>{"http://elsewhere.example/"});
    main_.WebBrowser1NavigateComplete2();
    EXPECT_TRUE(view_.PanelVisible(MainPanel::WebPanel));
    main_.WebHandlersAttached = false;  // as after the settings window
    main_.NavigationFinished = false;
    main_.WebBrowser1NavigateError();
    EXPECT_TRUE(main_.NavigationFinished) << "a first showing waiting for the news must still go on";
    EXPECT_TRUE(view_.PanelVisible(MainPanel::WebPanel));

    main_.MinimizeButtonClick();
    EXPECT_TRUE(view_.InTray);
    main_.RxTrayIcon1Click();
    EXPECT_FALSE(view_.InTray);

    main_.Button_CloseClick();
    EXPECT_TRUE(MainLoop().Terminated());
    auto lines = ReadTextLines(PathToUtf8(folder_ / "updater" / "TarvosII.ini"));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "Left = 5");
    EXPECT_EQ(lines[2], "Language = English");
}

// The run is armed only once the news page has settled: neither before navigating nor while
// the page is still loading.
TEST_F(MainControllerTest, TheFirstShowingArmsTheRunOnlyOnceTheNewsPageSettled) {
    main_.FormCreate({});
    bool armedWhenNavigating = true, armedWhileLoading = true;
    view_.WhenNavigating = [&] { armedWhenNavigating = main_.MainTimer.Enabled(); };
    Timer page(MainLoop(), 20);
    page.OnTimer([&] {
        page.SetEnabled(false);
        armedWhileLoading = main_.MainTimer.Enabled();
        main_.WebBrowser1NavigateComplete2();
    });
    page.SetEnabled(true);
    main_.FormShow();
    EXPECT_FALSE(armedWhenNavigating);
    EXPECT_FALSE(armedWhileLoading);
    EXPECT_TRUE(main_.MainTimer.Enabled());
    EXPECT_TRUE(view_.PanelVisible(MainPanel::WebPanel));
    main_.MainTimer.SetEnabled(false);
}

TEST_F(MainControllerTest, CreationHoldsTheChoicesToWhatTheConfigurationAllows) {
    fs::create_directories(folder_ / "updater");
    std::ofstream(folder_ / "updater" / "TarvosII.ini")
        << "SelProxy = Beta\nDriveType = SSD\nCheckMode = Light: Previous List\nAutoClose = False\n";
    config_.Config.DefaultAutoClose = true;
    config_.Config.UserCan_ChangeCheckMethod = true;
    main_.FormCreate({});
    EXPECT_EQ(main_.SelProxy, "auto");
    EXPECT_EQ(main_.DriveType, "HDD");
    EXPECT_TRUE(main_.AutoClose) << "the configured default";
    EXPECT_EQ(main_.CheckMode, "Light: Previous List") << "a choice the user may change stays";

    TFMain held{view_, MainLoop(), lang_, shell_, nullptr};
    held.Attach(config_, skin_);
    config_.Config.UserCan_ChangeCheckMethod = false;
    held.FormCreate({});
    EXPECT_EQ(held.CheckMode, "Hard: MD5 Hash") << "a check mode the user may not change is the full one";
}

TEST_F(MainControllerTest, RealTimersThreadsDownloaderIntervalsAndProxyDeadline) {
    TFMain fresh{view_, MainLoop(), lang_, shell_, nullptr};
    fresh.Attach(config_, skin_);
    EXPECT_EQ(fresh.MainTimer.Interval(), 1000);
    EXPECT_EQ(fresh.MsgTimer.Interval(), 100);
    EXPECT_EQ(fresh.MsgTimer2.Interval(), 10000);
    EXPECT_EQ(fresh.FadeTimer.Interval(), 100);
    fresh.FormCreate({});
    EXPECT_EQ(fresh.DM->Threads(), 6);
    EXPECT_EQ(fresh.DM->ProgressIntervalMs(), 500);
    EXPECT_EQ(fresh.DM->WatchdogIntervalMs(), 20000);
    EXPECT_EQ(fresh.Proxies->DeadlineMs, 5000u);
}

// The settings button places the window 60 pixels up and left of the centre, takes every
// enabled choice over and moves the main window to the language chosen there.
TEST_F(MainControllerTest, TheSettingsButtonPlacesTheWindowAndAppliesTheChoices) {
    config_.Config.UserCan_ChangeDriveType = true;
    config_.Config.UserCan_ChangeCheckMethod = true;
    ModalSettingsView settingsView;
    TFSettings settings({config_, skin_.ConfigWindow, main_.User, lang_, settingsView, MainLoop()});
    main_.Attach(config_, skin_, &settings);
    main_.FormCreate({});
    view_.SetPosition(100, 200);
    main_.NewsURL = lang_[0];  // as the first showing left it
    std::array<int, 2> place{};
    settingsView.whileShown = [&](TForm& form) {
        place = {form.Left, form.Top};
        settings.Box_Language.ItemIndex = 1;
        settings.Box_Language.OnChange();
        settings.Box_DriveType.ItemIndex = 1;
        settings.Box_CheckType.ItemIndex = 2;
    };
    main_.Button_ConfigClick();
    EXPECT_EQ(place, (std::array{100 + 40 / 2 - 520 / 2 - 60, 200 + 30 / 2 - 360 / 2 - 60}));
    EXPECT_EQ(main_.DriveType, "SSD");
    EXPECT_EQ(main_.CheckMode, "Light: Previous List");
    EXPECT_EQ(view_.Text(MainLabel::Text_LangBoxDescription), "yazyk");
    EXPECT_EQ(view_.Navigations.back(), "http://news.example/ru.html");
    // The web view's handlers are detached: a settled page no longer shows the panel; the
    // filter still holds.
    main_.WebBrowser1NavigateComplete2();
    EXPECT_FALSE(view_.PanelVisible(MainPanel::WebPanel));
    EXPECT_TRUE(main_.WebBrowser1BeforeNavigate2("file:///C:/Games/evil.exe", true));
    EXPECT_TRUE(shell_.Opened.empty());
}

TEST_F(MainControllerTest, AnEmptySkinEndsWithTheMessage) {
    skin_.MainWindow.BackGroundImage.image = {};
    main_.FormCreate({});
    EXPECT_EQ(view_.Messages, std::vector<std::string>{"Sorry! Not found the config"});
    EXPECT_EQ(ended_, 0);
}

}  // namespace
}  // namespace tarvos
