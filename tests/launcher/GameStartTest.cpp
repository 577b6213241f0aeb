#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "config/TempFolder.hpp"
#include "launcher/GameStart.hpp"
#include "platform/Text.hpp"

namespace tarvos {
namespace {

namespace fs = std::filesystem;
using testing::FileText;

TEST(GameStart, ClientFolderFromTheLanguageFolderMap) {
    EXPECT_EQ(ClientFolder("default;system", "default"), "system");
    const std::string map = " default ; system | de ; system_de ";
    EXPECT_EQ(ClientFolder(map, "de"), "system_de");
    EXPECT_EQ(ClientFolder(map, "DE"), "system") << "names keep their letter case";
    EXPECT_EQ(ClientFolder("de;one|de;two|fr;three", "de"), "two") << "the last match wins";
    EXPECT_EQ(ClientFolder("de;x|lone entry", "de"), "x");
    EXPECT_EQ(ClientFolder("", "default"), "system");
}

class GameStartTest : public ::testing::Test {
protected:
    GameStartTest() : folder_("tarvos-gamestart") {
        fs::create_directories(folder_.Path() / "system_de");
        Write("t2.ini", "player's own settings");
        Write("proxy2.ini", "settings of proxy two");
        in_.LangFolderMap = "default;system|de;system_de";
        in_.LangFolder = "de";
        in_.UseProxy = true;
        in_.MainPath = PathToUtf8(folder_.Path());
        client_ = in_.MainPath + "\\system_de";
    }
    void Write(const char* name, const std::string& text) {
        std::ofstream(folder_.Path() / "system_de" / name, std::ios::binary) << text;
    }
    std::string Settings() const { return FileText(folder_.Path() / "system_de" / "t2.ini"); }
    bool Start() {
        return StartGame(in_, [&](const TProgramStart& s) { started_.push_back(s); });
    }

    testing::TempFolder folder_;
    TGameStartInput in_;
    std::string client_;
    std::vector<TProgramStart> started_;
};

TEST_F(GameStartTest, TheAnsweringProxysSettingsAreInstalledAndTheClientStarted) {
    in_.ProxyLine = "Two | 10.0.0.2 | proxy2.ini ";
    in_.AutoClose = true;
    EXPECT_TRUE(Start());
    EXPECT_EQ(Settings(), "settings of proxy two");
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_EQ(started_[0].Verb, "runas");
    EXPECT_EQ(started_[0].File, client_ + "\\t2.exe");
    EXPECT_EQ(started_[0].Parameters, "proxy2.ini");
    EXPECT_EQ(started_[0].Folder, client_);
}

TEST_F(GameStartTest, TheSettingsFileIsOnlyEverReplacedWhole) {
    // A missing proxy file: untouched, the name still passed on.
    in_.ProxyLine = "Three|10.0.0.3|proxy3.ini";
    EXPECT_FALSE(Start());
    EXPECT_EQ(Settings(), "player's own settings");
    EXPECT_EQ(started_.back().Parameters, "proxy3.ini");
    // A proxy whose settings file is the game's own: left as it is, not deleted.
    in_.ProxyLine = "Self|10.0.0.4|t2.ini";
    Start();
    EXPECT_EQ(Settings(), "player's own settings");
    // No file field at all names the folder, which is no file.
    in_.ProxyLine = "Bare|10.0.0.5|";
    Start();
    EXPECT_EQ(Settings(), "player's own settings");
    EXPECT_EQ(started_.back().Parameters, "");
    // Nobody answered, or proxies are not in use: no parameters.
    in_.ProxyLine = "";
    Start();
    in_.ProxyLine = "Two|10.0.0.2|proxy2.ini";
    in_.UseProxy = false;
    Start();
    EXPECT_EQ(Settings(), "player's own settings");
    EXPECT_EQ(started_.back().Parameters, "");
    EXPECT_EQ(started_.size(), 5u);
    EXPECT_FALSE(fs::exists(folder_.Path() / "system_de" / "t2.ini.new"));
}

}  // namespace
}  // namespace tarvos
