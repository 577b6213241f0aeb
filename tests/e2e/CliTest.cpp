// tarvos-cli end to end: the built console launcher with a package of the test's own, against
// the test server's published folder and loopback game proxies.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fcntl.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "platform/SingleInstance.hpp"
#include "support/LoopbackListener.hpp"
#include "support/TestLauncher.hpp"
#include "support/TestServer.hpp"
#include "transfer/UpdaterDecompress.hpp"

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
    // Waits (10 s at most) until the server has seen a request for a file of that name.
    void AwaitFetching(const std::string& name) const {
        for (int i = 0; i < 200; ++i) {
            for (const auto& line : server.Log(token))
                if (line.find(name) != std::string::npos) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    TestServer server;
    TempDir dir;
    std::string token;
    fs::path release, game;
};

// The --json output as a script reads it: every line parses, and each event has the fields
// the README's table gives it (a name that is not UTF-8 adds its bytes as "<field>_hex").
std::vector<nlohmann::json> JsonLines(const std::string& out) {
    static const std::map<std::string, std::set<std::string>> kFields = {
        {"status", {"text"}},
        {"message", {"text"}},
        {"phase", {"phase", "files"}},
        {"file", {"phase", "file"}},
        {"progress", {"phase", "file", "done", "total", "rate", "eta", "inflight"}},
        {"end", {"status", "failed"}},
    };
    std::vector<nlohmann::json> events;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        nlohmann::json e;
        try {
            e = nlohmann::json::parse(line);
        } catch (const nlohmann::json::exception& error) {
            ADD_FAILURE() << error.what() << " in " << line;
            continue;
        }
        std::set<std::string> keys;
        for (const auto& [key, value] : e.items())
            if (key != "t" && key != "event" && !(key.size() > 4 && key.ends_with("_hex") && e.contains(key.substr(0, key.size() - 4))))
                keys.insert(key);
        auto wanted = kFields.find(e.value("event", ""));
        if (wanted == kFields.end()) {
            ADD_FAILURE() << "unknown event: " << line;
            continue;
        }
        std::set<std::string> fields = wanted->second;
        if (e["event"] == "phase" && e["phase"] == "downloading") fields.insert("total");
        EXPECT_EQ(keys, fields) << line;
        EXPECT_TRUE(e["t"].is_number()) << line;
        events.push_back(std::move(e));
    }
    return events;
}

// The bytes a "<field>_hex" value stands for.
std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

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

// Whatever ends a run, its JSON ends with the end line: a second copy's, a run without a
// server (whose text of the message panel is a message), a launcher without configuration.
TEST_F(Cli, ASecondCopyEndsAtOnceAndEveryJsonRunEndsWithItsEnd) {
    const std::string instance = Instance();
    ASSERT_EQ(MakeTestLauncher(game, Config(instance, "")), "");
    ASSERT_TRUE(tarvos::AcquireSingleInstance(instance));  // this process plays the first copy
    const CommandResult r = RunLauncher(game, "");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(game / "updater")) << "the second copy must not touch the game folder";
    const std::vector<nlohmann::json> second = JsonLines(RunLauncher(game, "--json").out);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0]["event"], "end");
    EXPECT_EQ(second[0]["status"], 0);
    tarvos::ReleaseSingleInstance(instance);

    const CommandResult alone = RunLauncher(game, "--json");
    const std::vector<nlohmann::json> events = JsonLines(alone.out);
    ASSERT_FALSE(events.empty());
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const nlohmann::json& e) {
        return e["event"] == "message" && e["text"] == "No update server answers.";
    })) << alone.out;
    EXPECT_EQ(events.back()["event"], "end") << alone.out;
    EXPECT_EQ(events.back()["status"], 4);

    std::ofstream(game / "cut.bin", std::ios::binary) << std::string("\x3a\x30\x00\x00\x05\x00\x00\x00\x01", 9);
    ASSERT_EQ(RunCommand(Quoted(BuiltFile("tools/tarvos-pack/tarvos-pack")) + " inject " + Quoted(game / "cut.bin") +
                         " " + Quoted(game / "tarvos-cli"))
                  .code,
              0);
    const CommandResult none = RunLauncher(game, "--json");
    EXPECT_EQ(none.code, 5);
    const std::vector<nlohmann::json> unconfigured = JsonLines(none.out);
    ASSERT_FALSE(unconfigured.empty());
    EXPECT_EQ(unconfigured.back()["event"], "end") << none.out;
    EXPECT_EQ(unconfigured.back()["status"], 5);
}

TEST_F(Cli, InterruptDuringADownloadSavesTheSettingsAndLeavesNoDamagedFile) {
    Publish();
    const std::string slow = "url=" + server.FolderUrl(token, "rate=60000") + "server/\n";
    ASSERT_EQ(MakeTestLauncher(game, Config(Instance(), slow)), "");
    const pid_t child = fork();
    if (child == 0) {
        chdir(game.c_str());
        const int out = open("../interrupted.json", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        execl("./tarvos-cli", "tarvos-cli", "--json", "--settings", "drivetype=SSD", nullptr);
        _exit(127);
    }
    // Wait until the large file is being fetched, then ask the launcher to stop.
    AwaitFetching("strings.pak");
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_TRUE(fs::exists(game / "updater/TarvosII.ini")) << "closing saves the settings";
    EXPECT_FALSE(fs::exists(game / "data/strings.pak")) << "a file not yet fetched must not appear";
    const std::vector<nlohmann::json> events = JsonLines(Read(game.parent_path() / "interrupted.json"));
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back()["event"], "end");
    EXPECT_EQ(events.back()["status"], 130);

    const CommandResult next = RunLauncher(game, "--quiet");
    EXPECT_EQ(next.code, 0) << next.out;
    EXPECT_EQ(Read(game / "data/strings.pak"), Read(release / "data/strings.pak")) << "the next start repairs";
}

// A cap given to the console holds the whole update back; a second copy lifts it through
// the settings file and the running one follows at once (capped, the large file alone
// would take a minute and a half). A cap is saved as a ninth line, and only then.
TEST_F(Cli, ACapIsSavedAndFollowedWhenAnotherCopyChangesIt) {
    Publish();
    ASSERT_EQ(MakeTestLauncher(game, Config(Instance(), Servers())), "");
    const pid_t child = fork();
    if (child == 0) {
        chdir(game.c_str());
        execl("./tarvos-cli", "tarvos-cli", "--quiet", "--limit-rate", "16k", nullptr);
        _exit(127);
    }
    bool fetching = false;
    for (int i = 0; i < 200 && !fetching; ++i) {
        for (const auto& line : server.Log(token))
            if (line.find("strings.pak") != std::string::npos) fetching = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(fetching);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(fs::exists(game / "data/strings.pak")) << "the cap did not hold the download back";
    const CommandResult lift = RunLauncher(game, "--limit-rate 0");
    EXPECT_EQ(lift.code, 0) << lift.out;
    int status = -1;
    for (int i = 0; i < 300 && waitpid(child, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (status == -1) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the running copy did not follow the lifted cap";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Read(game / "data/strings.pak"), Read(release / "data/strings.pak"));
    const std::string uncapped = Read(game / "updater/TarvosII.ini");
    EXPECT_EQ(std::count(uncapped.begin(), uncapped.end(), '\n'), 8) << uncapped;

    const CommandResult capped = RunLauncher(game, "--quiet --limit-rate 5M");
    EXPECT_EQ(capped.code, 0) << capped.out;
    EXPECT_EQ(Read(game / "updater/TarvosII.ini"), uncapped + "LimitRate = 5M\r\n");
    EXPECT_EQ(RunLauncher(game, "--limit-rate 5x").code, 2);
    // A cap too low to be kept is refused with the reason, and the saved one stays.
    const CommandResult tooLow = RunLauncher(game, "--limit-rate 5");
    EXPECT_EQ(tooLow.code, 2);
    EXPECT_NE(tooLow.out.find("at least 1k"), std::string::npos) << tooLow.out;
    EXPECT_EQ(Read(game / "updater/TarvosII.ini"), uncapped + "LimitRate = 5M\r\n");
}

// The machine-readable run: every line one object, in time order; the download's total is
// announced before its first byte and is what the server holds; progress climbs to it at
// most four times a second; each file is unpacked after it was downloaded; the final
// status comes last. On this steady server the time left that is first given after a tenth
// of the bytes is within a quarter of the truth.
TEST_F(Cli, JsonEventsOfAWholeRunAreCompleteAndOrdered) {
    std::string big;  // random: it packs no smaller, so it is what the download is about
    uint32_t x = 777;
    for (int i = 0; i < 6000000; ++i) big += static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    Write(release / "data/big.pak", big);
    Publish();
    const std::string paced = "url=" + server.FolderUrl(token, "rate=200000") + "server/\n";
    ASSERT_EQ(MakeTestLauncher(game, Config(Instance(), paced)), "");
    const CommandResult r = RunLauncher(game, "--json");
    ASSERT_EQ(r.code, 0) << r.out;
    int64_t packed = 0;
    for (const auto& e : fs::recursive_directory_iterator(release.parent_path() / "server"))
        if (e.is_regular_file() && e.path().extension() == ".ta2" && e.path().filename() != "updater.lst.ta2")
            packed += static_cast<int64_t>(e.file_size());

    double t = 0, lastProgressT = -1;
    int64_t done = 0, total = -1;
    int progress = 0, checking = 0;
    double eta = -1, etaAt = 0;
    std::vector<std::string> downloaded, unpacked;
    const std::vector<nlohmann::json> events = JsonLines(r.out);
    ASSERT_FALSE(events.empty());
    for (const auto& e : events) {
        const double now = e["t"];
        EXPECT_GE(now, t) << e;
        t = now;
        if (e["event"] == "phase" && e["phase"] == "checking") ++checking;
        if (e["event"] == "phase" && e["phase"] == "downloading") {
            EXPECT_EQ(progress, 0) << "the total comes before the first byte";
            total = e["total"];
        }
        if (e["event"] == "file") (e["phase"] == "downloading" ? downloaded : unpacked).push_back(e["file"]);
        if (e["event"] == "progress") {
            ++progress;
            const int64_t d = e["done"];
            EXPECT_GE(d, done) << e;
            // Small files are counted by their listed size until their responses tell theirs.
            total = e["total"];
            EXPECT_LE(d, total) << e;
            if (d < total && lastProgressT >= 0) {
                EXPECT_GE(now - lastProgressT, 0.249) << e;
            }
            done = d;
            lastProgressT = now;
            if (eta < 0 && d * 10 >= total && !e["eta"].is_null()) {
                eta = e["eta"];
                etaAt = now;
            }
        }
    }
    EXPECT_EQ(checking, 1);
    EXPECT_EQ(total, packed);
    EXPECT_EQ(done, total);
    EXPECT_GE(progress, 3);
    const double truth = lastProgressT - etaAt;
    // The accuracy depends on how busy the machine is; the test only catches an estimate of
    // the wrong kind (not given, or off by an order of magnitude: bytes for seconds, the whole
    // for what is left).
    EXPECT_GT(eta, truth / 4) << "estimate at " << etaAt << " s\n" << r.out;
    EXPECT_LT(eta, truth * 4) << "estimate at " << etaAt << " s\n" << r.out;
    EXPECT_EQ(downloaded.size(), 6u);
    EXPECT_EQ(unpacked, downloaded);
    EXPECT_EQ(events.back()["event"], "end");
    EXPECT_EQ(events.back()["status"], 0);
}

// Texts with quotes, backslashes and control characters; names as a hand-made list may hold
// them, with letters beyond ASCII and bytes that are not UTF-8. Every line parses, every
// text and name comes out, and the name that is not UTF-8 can still be told by its bytes.
TEST_F(Cli, JsonOfAnyTextsAndNamesParsesAndNamesEveryFile) {
    const std::vector<std::string> names = {"\\data\\back\\slash.txt", "\\data\\ünïcödé.txt",
                                            "\\data\\caf\xE9.txt"};
    const std::string odd = "\"Update\" \\ done\x01\tnow";
    // The publisher refuses such names: they are written into its list, which is packed anew.
    for (size_t i = 0; i < names.size(); ++i) Write(release / ("data/q" + std::to_string(i) + ".txt"), names[i]);
    Publish();
    const fs::path server = release.parent_path() / "server";
    std::string list = Read(server / "updater.lst");
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string placeholder = "\\data\\q" + std::to_string(i) + ".txt";
        ASSERT_NE(list.find(placeholder), std::string::npos);
        list.replace(list.find(placeholder), placeholder.size(), names[i]);
    }
    Write(server / "updater.lst", list);
    tarvos::BZCompressFile((server / "updater.lst").string(), (server / "updater.lst.ta2").string());
    std::string config = Config(Instance(), Servers());
    config.replace(config.find("5=Update complete."), 18, "5=" + odd);
    ASSERT_EQ(MakeTestLauncher(game, config), "");
    const CommandResult r = RunCommand("cd " + Quoted(game) + " && ./tarvos-cli --json </dev/null 2>/dev/null");
    const std::vector<nlohmann::json> events = JsonLines(r.out);
    ASSERT_FALSE(events.empty()) << r.out;
    std::set<std::string> seen;
    auto text = [](const nlohmann::json& e, const std::string& key, size_t at) {
        const nlohmann::json& value = e.contains(key + "_hex") ? e[key + "_hex"] : e[key];
        const std::string s = (value.is_array() ? value[at] : value).get<std::string>();
        return e.contains(key + "_hex") ? FromHex(s) : s;
    };
    for (const auto& e : events) {
        if (e["event"] == "status") seen.insert(text(e, "text", 0));
        if (e["event"] == "file") seen.insert(text(e, "file", 0));
        if (e["event"] == "end")
            for (size_t i = 0; i < e["failed"].size(); ++i) seen.insert(text(e, "failed", i));
        if (e.contains("file_hex")) {
            EXPECT_NE(e["file"].get<std::string>().find("\xEF\xBF\xBD"), std::string::npos) << e;
        }
    }
    for (const auto& name : names) EXPECT_TRUE(seen.count(name)) << name << "\n" << r.out;
    EXPECT_TRUE(seen.count(odd)) << r.out;
    EXPECT_EQ(events.back()["event"], "end") << r.out;
    EXPECT_EQ(events.back()["status"], r.code);
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

// ---- what a player's folder survives: bad servers, kills, another copy, a full disk ----

namespace {

// Every file of the release, byte for byte, in the game folder; the first that differs.
std::string FirstDifference(const fs::path& release, const fs::path& game) {
    for (const auto& e : fs::recursive_directory_iterator(release)) {
        if (!e.is_regular_file()) continue;
        const fs::path rel = fs::relative(e.path(), release);
        if (Read(game / rel) != Read(e.path())) return rel.string();
    }
    return {};
}

// Every file of the game folder that the release also has is either the release's or the
// previous release's, whole: never a mixture or a truncated copy. With a previous release
// installed, a missing file is a lost file too.
std::string FirstDamaged(const fs::path& release, const fs::path& previous, const fs::path& game) {
    for (const auto& e : fs::recursive_directory_iterator(release)) {
        if (!e.is_regular_file()) continue;
        const fs::path rel = fs::relative(e.path(), release);
        if (!fs::exists(game / rel)) {
            if (!previous.empty()) return rel.string() + " (missing)";
            continue;
        }
        const std::string have = Read(game / rel);
        if (have != Read(e.path()) && (previous.empty() || have != Read(previous / rel))) return rel.string();
    }
    return {};
}

std::string LastLine(const std::string& out) {
    std::string s = out;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    const auto cut = s.rfind('\n');
    return cut == std::string::npos ? s : s.substr(cut + 1);
}

}  // namespace

// The chosen server serves one file damaged and lacks another: both come from the second
// server. When no server has a file, the run ends 3 and its last line names the file.
TEST_F(Cli, AServerThatFailsAFileGivesWayAndTheEndingNamesWhatFailed) {
    Publish();
    const fs::path root = release.parent_path();
    fs::copy(root / "server", root / "mirror", fs::copy_options::recursive);
    std::string damaged = Read(root / "mirror/data/strings.pak.ta2");
    damaged[damaged.size() / 2] ^= 0x5A;
    Write(root / "mirror/data/strings.pak.ta2", damaged);
    fs::remove(root / "mirror/readme.txt.ta2");
    std::string config = Config(Instance(), "url=" + server.FolderUrl(token) + "mirror/\n" + Servers());
    config.replace(config.find("useping=true"), 12, "useping=false");
    ASSERT_EQ(MakeTestLauncher(game, config), "");

    const CommandResult first = RunLauncher(game, "-debug");
    EXPECT_EQ(first.code, 0) << first.out;
    EXPECT_EQ(FirstDifference(release, game), "");
    const std::string log = Read(game / "log.err");
    EXPECT_NE(log.find("Served by " + server.FolderUrl(token) + "server/: data\\strings.pak"), std::string::npos)
        << log;

    fs::remove(root / "server/readme.txt.ta2");
    fs::remove(game / "readme.txt");
    const CommandResult second = RunLauncher(game, "--start-game");
    EXPECT_EQ(second.code, 3) << second.out;
    EXPECT_EQ(LastLine(second.out), "1 file could not be repaired: \\readme.txt") << second.out;
    EXPECT_NE(second.out.find("Starting the game."), std::string::npos) << second.out;
    EXPECT_EQ(second.out.find("Up to date."), std::string::npos) << second.out;
    EXPECT_FALSE(fs::exists(game / "readme.txt"));
    EXPECT_EQ(Read(game / "updater/OldList.lst").find("|\\readme.txt|"), std::string::npos);
}

// Killed at any moment of a first install or of an update, the launcher leaves every file
// old and whole or new and whole, and the next run finishes the job.
TEST_F(Cli, KilledAnywhereEveryFileIsWholeAndTheNextRunFinishes) {
    Publish();
    const std::string slow = "url=" + server.FolderUrl(token, "rate=400000") + "server/\n";
    ASSERT_EQ(MakeTestLauncher(game, Config(Instance(), slow)), "");
    const fs::path previous = dir.Path() + std::string("/previous");
    for (const char* phase : {"install", "update"}) {
        SCOPED_TRACE(phase);
        const std::string options = std::string(phase) == "update" ? "--check-all" : "";
        for (const char* after : {"0.2", "0.5", "0.8", "1.1", "1.4", "1.8", "2.3"}) {
            const CommandResult killed =
                RunCommand("cd " + Quoted(game) + " && timeout -s KILL " + after + " ./tarvos-cli --quiet " + options +
                           " </dev/null");
            if (killed.code == 0) {
                EXPECT_EQ(FirstDifference(release, game), "") << "after " << after;
            }
            EXPECT_EQ(FirstDamaged(release, std::string(phase) == "update" ? previous : fs::path(), game), "")
                << "killed after " << after;
        }
        const CommandResult rerun = RunLauncher(game, "--quiet " + options);
        EXPECT_EQ(rerun.code, 0) << rerun.out;
        EXPECT_EQ(FirstDifference(release, game), "");
        if (std::string(phase) == "install") {
            // The next release changes every byte of the big file and the small ones.
            fs::copy(release, previous, fs::copy_options::recursive);
            std::string data = Read(release / "data/strings.pak");
            for (char& c : data) c = static_cast<char>(c ^ 0x33);
            Write(release / "data/strings.pak", data);
            Write(release / "readme.txt", "hello again\n");
            Write(release / "system/t2.ini", "[Game]\r\nLanguage=1049\r\n");
            ASSERT_EQ(server.Publish(token), "");
        }
    }
}

// A second launcher on the same game folder, not stopped by the instance check (another
// login session), says so and leaves the folder to the first.
TEST_F(Cli, ASecondLauncherOnTheSameFolderSaysSoAndLeavesItAlone) {
    Publish();
    const std::string slow = "url=" + server.FolderUrl(token, "rate=30000") + "server/\n";
    ASSERT_EQ(MakeTestLauncher(game, Config(Instance(), slow)), "");
    const fs::path a = dir.Path() + std::string("/run-a"), b = dir.Path() + std::string("/run-b");
    for (const fs::path& p : {a, b}) {
        fs::create_directories(p);
        fs::permissions(p, fs::perms::owner_all, fs::perm_options::replace);
    }
    const pid_t first = fork();
    if (first == 0) {
        chdir(game.c_str());
        setenv("XDG_RUNTIME_DIR", a.c_str(), 1);
        execl("./tarvos-cli", "tarvos-cli", "--quiet", nullptr);
        _exit(127);
    }
    AwaitFetching("strings.pak");
    const CommandResult second =
        RunCommand("cd " + Quoted(game) + " && XDG_RUNTIME_DIR=" + Quoted(b) + " ./tarvos-cli </dev/null");
    int status = -1;
    waitpid(first, &status, 0);
    EXPECT_EQ(second.code, 0) << second.out;
    EXPECT_EQ(LastLine(second.out), "Another launcher is updating this game folder.") << second.out;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(FirstDifference(release, game), "");
}

// A game folder without room for a file: on a small memory volume where the test may mount
// one, else under a file-size limit. The run names the disk and the file the write failed
// for, ends 3, leaves every file whole, and a run with room repairs the rest.
TEST_F(Cli, AFullDiskIsReportedAndARunWithRoomRepairs) {
    Publish();
    // Packs small but needs 16 MiB once unpacked: the download fits, the unpacking does not.
    Write(release / "data/huge.pak", std::string(16 << 20, 'z'));
    ASSERT_EQ(server.Publish(token), "");
    fs::create_directories(game);
    const auto launcher = fs::file_size(BuiltFile("tools/tarvos-cli/tarvos-cli")) / 1024;
    const bool mounted =
        geteuid() == 0 &&
        RunCommand("mount -t tmpfs -o size=" + std::to_string(launcher + 8192) + "k tmpfs " + Quoted(game)).code == 0;
    struct Unmount {
        bool on;
        fs::path p;
        ~Unmount() {
            if (on) RunCommand("umount -l " + Quoted(p));
        }
    } unmount{mounted, game};
    ASSERT_EQ(MakeTestLauncher(game, Config(Instance(), Servers())), "");

    // Without a volume of its own, no file of the run may grow beyond 8 MiB (a write beyond
    // fails instead of ending the program).
    const std::string limit = mounted ? "" : "trap '' XFSZ; ulimit -f 8192; ";
    const CommandResult full = RunCommand("cd " + Quoted(game) + " && bash -c \"" + limit + "exec ./tarvos-cli\" </dev/null");
    EXPECT_EQ(full.code, 3) << full.out;
    const std::string volume = mounted ? game.string() : "";
    EXPECT_EQ(LastLine(full.out).rfind("The disk " + volume, 0), 0u) << full.out;
    EXPECT_NE(LastLine(full.out).find(" is full: no room for \\data\\huge.pak. Free some space and run again."),
              std::string::npos)
        << full.out;
    EXPECT_EQ(FirstDamaged(release, {}, game), "");

    if (mounted) {
        ASSERT_EQ(RunCommand("mount -o remount,size=64m " + Quoted(game)).code, 0);
    }
    const CommandResult roomy = RunLauncher(game, "");
    EXPECT_EQ(roomy.code, 0) << roomy.out;
    EXPECT_EQ(FirstDifference(release, game), "");
}

// A work folder the launcher cannot use is not another launcher at work, and a list of
// installed files that cannot be saved is not success: both end with status 1 and say so
// on the last line.
TEST_F(Cli, AnUnusableWorkFolderAndAnUnsavedListEndWithOne) {
    Publish();
    ASSERT_EQ(MakeTestLauncher(game, Config(Instance(), Servers())), "");
    fs::create_directories(game / "updater/OldList.lst.new");
    const CommandResult unsaved = RunLauncher(game, "--start-game");
    EXPECT_EQ(unsaved.code, 1) << unsaved.out;
    EXPECT_EQ(LastLine(unsaved.out), "Cannot save the list of installed files " + (game / "updater/OldList.lst").string() + ".")
        << unsaved.out;
    EXPECT_EQ(FirstDifference(release, game), "");

    fs::remove_all(game / "updater");
    Write(game / "updater", "a file where the work folder belongs");
    const CommandResult blocked = RunLauncher(game, "");
    EXPECT_EQ(blocked.code, 1) << blocked.out;
    EXPECT_EQ(LastLine(blocked.out), "The work folder " + (game / "updater").string() +
                                         " cannot be used: it must be a folder the launcher can write to.")
        << blocked.out;
}
