// tarvos-cli end to end: the built console launcher with a package of the test's own, against
// the test server's published folder and loopback game proxies.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/SingleInstance.hpp"
#include "support/LoopbackListener.hpp"
#include "support/TestLauncher.hpp"
#include "support/TestServer.hpp"

using namespace tarvos::test;
namespace fs = std::filesystem;

namespace {

void Write(const fs::path& p, const std::string& text, bool executable = false) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
    if (executable) fs::permissions(p, fs::perms::owner_all, fs::perm_options::add);
}

std::string Read(const fs::path& p) { return ReadFileBytes(p.string()); }

// Waits for a file the detached game client writes.
std::string AwaitFile(const fs::path& p) {
    for (int i = 0; i < 100 && !fs::exists(p); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return Read(p);
}

// A game client that records what it was given: its arguments, its working folder and the
// settings file it found there.
const char* kClient =
    "#!/bin/sh\n"
    "{ echo \"args:$*\"; echo \"dir:$(pwd)\"; cat t2.ini; } > started.txt.tmp && mv started.txt.tmp "
    "started.txt\n";

// Without a proxy port the proxies are not in use.
std::string Config(const std::string& instance, const std::string& servers, int proxyPort = 0) {
    return "[config]\ninstance=" + instance +
           "\ndefaultlanguage=English\nusercan_changelanguage=true\nusercan_changeautoclose=true\n"
           "usercan_changeproxy=true\nusercan_changedrivetype=true\nusercan_changecheckmethod=true\n"
           "[mainwindow]\ncaption=Test launcher\n[updateservers]\nuseping=true\n" +
           servers + "[gameproxys]\nuseproxy=" + (proxyPort ? "true" : "false") +
           "\nport=" + std::to_string(proxyPort) +
           "\nproxy=Refusing|127.0.0.1|t2_refusing.ini\nproxy=Answering|127.0.0.2|t2_answering.ini\n"
           "[lang=1033:English]\n1=[Unpacking ]\n2=[Checked ]\n3=Up to date.\n4=[Downloading ]\n"
           "5=Update complete.\n6=All files checked.\n7=Fetching the list\n15=No update server answers.\n"
           "18=No game proxy answers.\n21=The chosen game proxy does not answer.\n24=[Total: ]\n"
           "[lang=1049:Deutsch]\n3=Aktuell.\n";
}

std::string Instance() { return "cli-test-" + std::to_string(getpid()) + "-" + TestServer::NewToken(); }

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.Available()) GTEST_SKIP() << server.Why();
        token = TestServer::NewToken();
        release = fs::path(server.FilesRoot()) / token / "game";
        game = fs::path(dir.Path()) / "player";
    }
    // A release with the recording client, its settings files and some data.
    void Publish() {
        Write(release / "system/t2.exe", kClient, true);
        Write(release / "system/t2.ini", "[Game]\r\nLanguage=1033\r\n");
        Write(release / "system/t2_answering.ini", "[Game]\r\nProxy=answering\r\n");
        std::string data;  // does not pack smaller: fetching it takes a while on a slow server
        uint32_t x = 12345;
        for (int i = 0; i < 1500000; ++i) data += static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
        Write(release / "data/strings.pak", data);
        Write(release / "readme.txt", "hello\n");
        ASSERT_EQ(server.Publish(token), "");
    }
    std::string Servers() const { return "url=" + server.FolderUrl(token) + "server/\n"; }

    TestServer server;
    TempDir dir;
    std::string token;
    fs::path release, game;
};

int Downloads(const std::vector<std::string>& log) {
    int n = 0;
    for (const auto& line : log)
        if (line.rfind("GET", 0) == 0 && line.find("updater.lst") == std::string::npos) ++n;
    return n;
}

}  // namespace

TEST_F(Cli, InstallsEverythingThenFindsNothingToDoThenStartsTheGameThroughTheAnsweringProxy) {
    Publish();
    LoopbackListener answering(0x7F000002);  // 127.0.0.1 on the same port refuses
    ASSERT_EQ(MakeTestLauncher(game, Config(Instance(), Servers(), answering.Port())), "");

    const CommandResult first = RunLauncher(game, "-debug");
    EXPECT_EQ(first.code, 0) << first.out;
    EXPECT_NE(first.out.find("== Test launcher =="), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("Downloading \\data\\strings.pak"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("Update complete."), std::string::npos) << first.out;
    for (const char* file :
         {"system/t2.exe", "system/t2.ini", "system/t2_answering.ini", "data/strings.pak", "readme.txt"})
        EXPECT_EQ(Read(game / file), Read(release / file)) << file;
    const std::string log = Read(game / "log.err");
    for (const char* line :
         {"config created\r\n  try load config\r\n  read config from memory.. config size: ",
          "\r\nDownload file: readme.txt (try 1)\r\n", "\r\nUnpack:: readme.txt\r\n",
          "\r\nSet DateTime: readme.txt\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << " in\n" << log;
    const int downloads = Downloads(server.Log(token));
    EXPECT_EQ(downloads >= 5, true) << downloads;

    const CommandResult second = RunLauncher(game, "--start-game");
    EXPECT_EQ(second.code, 0) << second.out;
    EXPECT_NE(second.out.find("Up to date."), std::string::npos) << second.out;
    EXPECT_EQ(Downloads(server.Log(token)), downloads) << "the second run fetched files again";
    EXPECT_EQ(second.out.find("No game proxy answers"), std::string::npos) << second.out;
    const std::string started = AwaitFile(game / "system/started.txt");
    EXPECT_EQ(started, "args:t2_answering.ini\ndir:" + fs::canonical(game / "system").string() +
                           "\n[Game]\r\nProxy=answering\r\n")
        << "the answering proxy's settings file becomes the client's, and the client gets its name";
}

TEST_F(Cli, DamagedListEndsReadyAndTellsNoServerAnswered) {
    Publish();
    Write(fs::path(server.FilesRoot()) / token / "server/updater.lst.ta2", "BZh91AY&SY damaged");
    ASSERT_EQ(MakeTestLauncher(game, Config(Instance(), Servers())), "");
    Write(game / "updater.lst", "left from an earlier run");
    const CommandResult r = RunLauncher(game, "--quiet");
    EXPECT_EQ(r.code, 4) << r.out;
    EXPECT_FALSE(fs::exists(game / "updater.lst")) << "a damaged list must not be left to be read";
    EXPECT_FALSE(fs::exists(game / "updater/$tmp.ta2"));
}

TEST_F(Cli, NoServerShowsTheTextAndStillStartsTheGameWithTheSettingsRoundTripping) {
    LoopbackListener answering(0x7F000002);
    ASSERT_EQ(MakeTestLauncher(game, Config(Instance(), "", answering.Port())), "");
    Write(game / "system/t2.exe", kClient, true);
    Write(game / "system/t2.ini", "original");
    Write(game / "updater/TarvosII.ini", "Left = 120\r\nTop = 45\r\n");  // the windowed launcher's place

    const CommandResult r = RunLauncher(game,
                                        "--settings DriveType=SSD --settings Box_CheckType=1 --settings "
                                        "proxy=answering --settings Language=Deutsch "
                                        "--settings autoclose=TRUE --start-game");
    EXPECT_EQ(r.code, 4) << r.out;
    EXPECT_NE(r.out.find(">> No update server answers."), std::string::npos) << r.out;
    EXPECT_EQ(AwaitFile(game / "system/started.txt"),
              "args:t2_answering.ini\ndir:" + fs::canonical(game / "system").string() + "\noriginal")
        << "the answering proxy is found without a server; its settings file is missing, so t2.ini stays";
    const std::string saved =
        "Left = 120\r\nTop = 45\r\nLanguage = Deutsch\r\nAutoClose = True\r\nSelProxy = Answering\r\n"
        "DriveType = SSD\r\nCheckMode = Medium: Size & Date\r\nLangFolder = default\r\n";
    EXPECT_EQ(Read(game / "updater/TarvosII.ini"), saved);

    const CommandResult again = RunLauncher(game, "--settings proxy=nowhere");
    EXPECT_EQ(again.code, 2) << again.out;
    EXPECT_NE(again.out.find("not one of \"Auto\", \"Refusing\", \"Answering\""), std::string::npos)
        << again.out;
    EXPECT_EQ(Read(game / "updater/TarvosII.ini"), saved) << "the settings read back are saved unchanged";
}

TEST_F(Cli, ASecondCopyEndsAtOnce) {
    const std::string instance = Instance();
    ASSERT_EQ(MakeTestLauncher(game, Config(instance, "")), "");
    ASSERT_TRUE(tarvos::AcquireSingleInstance(instance));  // this process plays the first copy
    const CommandResult r = RunLauncher(game, "");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(game / "updater")) << "the second copy must not touch the game folder";
}

TEST_F(Cli, InterruptDuringADownloadSavesTheSettingsAndLeavesNoDamagedFile) {
    Publish();
    const std::string slow = "url=" + server.FolderUrl(token, "rate=60000") + "server/\n";
    ASSERT_EQ(MakeTestLauncher(game, Config(Instance(), slow)), "");
    const pid_t child = fork();
    if (child == 0) {
        chdir(game.c_str());
        execl("./tarvos-cli", "tarvos-cli", "--quiet", "--settings", "drivetype=SSD", nullptr);
        _exit(127);
    }
    // Wait until the large file is being fetched, then ask the launcher to stop.
    for (int i = 0; i < 200; ++i) {
        bool fetching = false;
        for (const auto& line : server.Log(token))
            if (line.find("strings.pak") != std::string::npos) fetching = true;
        if (fetching) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_TRUE(fs::exists(game / "updater/TarvosII.ini")) << "closing saves the settings";
    EXPECT_FALSE(fs::exists(game / "data/strings.pak")) << "a file not yet fetched must not appear";

    const CommandResult next = RunLauncher(game, "--quiet");
    EXPECT_EQ(next.code, 0) << next.out;
    EXPECT_EQ(Read(game / "data/strings.pak"), Read(release / "data/strings.pak")) << "the next start repairs";
}

TEST_F(Cli, AWindowsClientStartsThroughWine) {
    ASSERT_EQ(MakeTestLauncher(game, Config(Instance(), "")), "");
    Write(game / "system/t2.exe", std::string("MZ\x90\0\3\0", 6) + "a Windows program");
    const fs::path bin = fs::path(dir.Path()) / "bin";
    Write(bin / "wine", "#!/bin/sh\necho \"wine:$*\" > wine.txt.tmp && mv wine.txt.tmp wine.txt\n", true);
    const CommandResult r =
        RunCommand("cd " + Quoted(game) + " && PATH=" + Quoted(bin) + ":$PATH ./tarvos-cli --start-game");
    EXPECT_EQ(r.code, 4) << r.out;
    EXPECT_EQ(AwaitFile(game / "system/wine.txt"), "wine:" + (game / "system/t2.exe").string() + "\n");
}
