// The update pipeline end to end: a generated game published to a server folder, served over
// HTTP, and a player's folder brought up to date by the real controller, downloader, digests
// and RAR extraction, observed through a recording view.
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <thread>
#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <unistd.h>
#endif

#include "support/Environment.hpp"
#include "inventory/CustomMD5.hpp"
#include "launcher/UserSettings.hpp"
#include "platform/FileSystem.hpp"
#include "config/ConfigKey.hpp"
#include "config/TarvosUpdateConfig.hpp"
#include "inventory/ListSignature.hpp"
#include "launcher/ListCheck.hpp"
#include "platform/BlankSlot.hpp"
#include "transfer/UpdaterDecompress.hpp"
#include "launcher/PipelineFixture.hpp"
#include "support/LoopbackListener.hpp"
#include "support/RarPatch.hpp"
#include "platform/FileLock.hpp"

namespace tarvos::test {
namespace {

const double kSummer = Date(2024, 7, 15, 13, 45, 30, 123);
const double kWinter = Date(2024, 1, 15, 8, 5, 10, 987);

struct ModeCase {
    const char* checkMode;
    int workers;
    std::vector<std::string> fullCheckRepairs;  // what the full check fetches
    std::vector<std::string> fullCheckTotals;   // its total-progress texts
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.checkMode << ", " << c.workers << " workers"; }

class PipelineModes : public PipelineFixture, public ::testing::WithParamInterface<ModeCase> {};

// Missing, changed, extra, identical and to-be-deleted files; the start-up check repairs the
// missing and required files, the full check the rest, as the mode sees it.
TEST_P(PipelineModes, BringsThePlayersFolderToTheServersState) {
    const ModeCase& c = GetParam();
    const bool light = std::string(c.checkMode).rfind("Light", 0) == 0;
    AddGameFile("data/maps/world.map", Generated(70000, 1), kSummer);
    AddGameFile("data/strings.txt", Generated(5000, 2), kWinter);
    AddGameFile("data/textures.pak", Generated(1200000, 3), kSummer);
    AddGameFile("readme.txt", "Read me.\r\n", kWinter);
    AddGameFile("sound/new.ogg", Generated(3000, 5), kWinter);
    AddGameFile("system/t2.ini", "[Game]\r\nLanguage=1033\r\n", kSummer);
    AddGameFile("t2.dat", Generated(150000, 6), kSummer);
    WriteBeside("required.txt", "\\system\\t2.ini\n");
    WriteBeside("delete.txt", "\\old\\legacy.dll\n\\never\\existed.txt\n");
    Publish();

    fs::copy(game_, player_, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::remove(player_ / "data/maps/world.map");
    fs::remove(player_ / "sound/new.ogg");
    WriteBytes(player_ / "system/t2.ini", "[Game]\r\nLanguage=1049\r\n");
    WriteBytes(player_ / "data/strings.txt", Generated(5000, 22));
    WriteBytes(player_ / "data/textures.pak", Generated(1000, 33));
    ASSERT_TRUE(SetFileTimesLocal(PathToUtf8(player_ / "t2.dat"), 6, kSummer));
    ASSERT_TRUE(SetFileTimesLocal(PathToUtf8(player_ / "readme.txt"), 6, kSummer));
    WriteBytes(player_ / "screenshots/shot1.bmp", "mine");
    WriteBytes(player_ / "old/legacy.dll", "stale");
    const auto shotDate = ReadSizeAndDate(PathToUtf8(player_ / "screenshots/shot1.bmp"))->Date;

    auto main = MakeMain(c.checkMode, c.workers, Url());
    main->FetchUpdaterList();
    main->CheckingRequiredFiles();
    const std::vector<std::string> startup = {"\\data\\maps\\world.map", "\\sound\\new.ogg",
                                              "\\system\\t2.ini"};
    EXPECT_EQ(Downloaded(), startup);
    EXPECT_EQ(view_.Total, (std::vector<std::string>{"<24>0%", "<24>0%", "<24>33%", "<24>67%", "<24>100%"}));
    std::vector<std::string> status;  // measured names come in completion order
    int measured = 0;
    for (const auto& t : view_.Status) (t.rfind("<2>", 0) == 0 ? void(++measured) : status.push_back(t));
    EXPECT_EQ(measured, light ? 0 : 3);
    EXPECT_EQ(status, (std::vector<std::string>{"<7>", "<1>updater.lst", "<4>\\data\\maps\\world.map",
                                                "<1>\\data\\maps\\world.map", "<4>\\sound\\new.ogg",
                                                "<1>\\sound\\new.ogg", "<4>\\system\\t2.ini",
                                                "<1>\\system\\t2.ini", "<5>"}));
    EXPECT_TRUE(view_.StartEnabled);
    EXPECT_EQ(view_.StartCursor, MainCursor::Hand);
    EXPECT_TRUE(view_.CheckAllVisible);
    EXPECT_FALSE(fs::exists(player_ / "old/legacy.dll"));
    EXPECT_FALSE(fs::exists(player_ / "updater.lst"));

    view_.Total.clear();
    main->Button_CheckAllFilesClick();
    std::vector<std::string> all = startup;
    all.insert(all.end(), c.fullCheckRepairs.begin(), c.fullCheckRepairs.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(Downloaded(), all);
    EXPECT_EQ(view_.Total, c.fullCheckTotals);
    EXPECT_EQ(view_.Status.back(), "<6>");
    EXPECT_FALSE(view_.CheckAllEnabled);
    EXPECT_EQ(view_.OutOfRange, 0);

    // Every listed file as published, dated as listed; the player's own file untouched.
    auto server = ServerList();
    std::set<std::string> expected = FilesBelow(game_);
    expected.insert({"screenshots/shot1.bmp", "updater/OldList.lst", "updater/$lock"});
    EXPECT_EQ(FilesBelow(player_), expected);
    for (const auto& rel : FilesBelow(game_)) {
        EXPECT_TRUE(Bytes(player_ / rel) == Bytes(game_ / rel)) << rel;
        EXPECT_EQ(ReadSizeAndDate(PathToUtf8(player_ / rel))->Date,
                  server->GetItemByName(ListName(rel))->Content.Date)
            << rel;
    }
    EXPECT_EQ(Bytes(player_ / "screenshots/shot1.bmp"), "mine");
    EXPECT_EQ(ReadSizeAndDate(PathToUtf8(player_ / "screenshots/shot1.bmp"))->Date, shotDate);
    EXPECT_EQ(Bytes(player_.parent_path() / "sentinel.txt"), "outside the game folder");

    // The previous-state list holds the server's records, also for light's first fetches.
    TFileList old(true);
    old.LoadFromFile(PathToUtf8(player_ / "updater/OldList.lst"));
    ASSERT_EQ(old.Count(), server->Count());
    for (int32_t i = 0; i < server->Count(); ++i) {
        const TFileRecord& want = server->GetItemByID(i)->Content;
        EXPECT_EQ(old.GetItemByName(want.Name)->Content, want) << want.Name;
    }

    // The next start finds the required file as dated, in every season: nothing to fetch.
    if (!light) {
        view_.Total.clear();
        auto again = MakeMain(c.checkMode, c.workers, Url());
        again->FetchUpdaterList();
        again->CheckingRequiredFiles();
        EXPECT_EQ(Downloaded(), all);
        EXPECT_EQ(view_.Status.back(), "<3>");
    }
}

INSTANTIATE_TEST_SUITE_P(
    , PipelineModes,
    ::testing::Values(ModeCase{"Hard: MD5 Hash",
                               1,
                               {"\\data\\strings.txt", "\\data\\textures.pak"},
                               {"<24>0%", "<24>0%", "<24>25%", "<24>100%"}},
                      ModeCase{"hard: md5 hash",
                               3,
                               {"\\data\\strings.txt", "\\data\\textures.pak"},
                               {"<24>0%", "<24>0%", "<24>25%", "<24>100%"}},
                      ModeCase{"Medium: Size & Date",
                               1,
                               {"\\data\\strings.txt", "\\data\\textures.pak", "\\readme.txt"},
                               {"<24>0%", "<24>0%", "<24>25%", "<24>50%", "<24>100%"}},
                      ModeCase{"Medium: Size & Date",
                               3,
                               {"\\data\\strings.txt", "\\data\\textures.pak", "\\readme.txt"},
                               {"<24>0%", "<24>0%", "<24>25%", "<24>50%", "<24>100%"}},
                      ModeCase{"Light: Previous List",
                               1,
                               {"\\data\\strings.txt", "\\data\\textures.pak", "\\readme.txt", "\\t2.dat"},
                               {"<24>0%", "<24>0%", "<24>25%", "<24>50%", "<24>75%", "<24>100%"}},
                      ModeCase{"Light: Previous List",
                               3,
                               {"\\data\\strings.txt", "\\data\\textures.pak", "\\readme.txt", "\\t2.dat"},
                               {"<24>0%", "<24>0%", "<24>25%", "<24>50%", "<24>75%", "<24>100%"}}),
    [](const ::testing::TestParamInfo<ModeCase>& info) {
        return std::string(1, static_cast<char>(std::toupper(info.param.checkMode[0]))) +
               std::string(info.param.checkMode).substr(1, std::string(info.param.checkMode).find(':') - 1) +
               std::to_string(info.param.workers) + "Workers";
    });

// A packed file that never matches its digest, one that is not on the server at all, names
// that climb out of the game folder and an archive whose entry does: three rounds and a log
// line for the failures, nothing written or deleted outside, and the run still ends ready.
TEST_F(PipelineFixture, FaultsEndReadyAndNeverLeaveTheGameFolder) {
    AddGameFile("a-gone.txt", "never served", kWinter);
    AddGameFile("bad.txt", "served damaged", kWinter);
    AddGameFile("ok.txt", "fine", kSummer);
    AddGameFile("zz/zz_evil.txt", "escaping entry", kSummer);
    Publish();
    fs::remove(ServerFolder() / "a-gone.txt.ta2");
    std::string damaged = Bytes(ServerFolder() / "bad.txt.ta2");
    damaged[damaged.size() / 2] ^= 0x55;
    WriteBytes(ServerFolder() / "bad.txt.ta2", damaged);
    std::string hostile = Bytes(ServerFolder() / "zz/zz_evil.txt.ta2");
    ASSERT_TRUE(RenameRar5Entry(hostile, "zz_evil.txt", "../evil.txt"));
    WriteBytes(ServerFolder() / "zz/zz_evil.txt.ta2", hostile);
    const std::string hostileDigest = FileMD5(PathToUtf8(ServerFolder() / "zz/zz_evil.txt.ta2"));

    // The list as a broken or hostile server might send it.
    std::vector<std::string> lines = ReadTextLines(PathToUtf8(ServerFolder() / "updater.lst"));
    for (auto& line : lines)
        if (line.find("zz_evil") != std::string::npos) {
            TFileRecord r = ParseFileListLine(line);
            r.HashPacked = hostileDigest;
            line = FormatFileListLine(r);
        }
    lines.insert(lines.begin() + 1, "");
    lines.insert(lines.begin() + 2, "garbage without separators");
    lines.push_back(std::string(kEmptyDigest) + "|\\..\\sentinel.txt|3||");
    lines.push_back(std::string(kEmptyDigest) + "|\\C:\\evil.txt|3||");
    lines.push_back("#");
    lines.push_back("\\..\\..\\evil.txt");
    lines.push_back("\\\\\\share\\evil.txt");
    lines.push_back("@");
    lines.push_back("\\..\\sentinel.txt");
    lines.push_back("\\sub\\. \\x");
    WriteTextLines(PathToUtf8(player_ / "updater.lst"), lines);

    auto main = MakeMain("Hard: MD5 Hash", 1, Url());
    main->CheckingRequiredFiles();
    EXPECT_TRUE(view_.StartEnabled);
    EXPECT_EQ(view_.Status.back(), "<5>");
    EXPECT_EQ(Bytes(player_ / "ok.txt"), "fine");
    EXPECT_FALSE(fs::exists(player_ / "bad.txt"));
    EXPECT_FALSE(fs::exists(player_ / "a-gone.txt"));
    for (const char* name : {"a-gone.txt", "bad.txt"}) {
        for (int r = 1; r <= 3; ++r)
            EXPECT_TRUE(Logged("Download file: " + std::string(name) + " (try " + std::to_string(r) + ")"))
                << name;
        EXPECT_TRUE(Logged("FItem.Content.Name " + std::string(name) + ": hash error !!!")) << name;
    }
    for (const char* name : {"\\..\\sentinel.txt", "\\C:\\evil.txt", "\\..\\..\\evil.txt",
                             "\\\\\\share\\evil.txt", "\\sub\\. \\x"})
        EXPECT_TRUE(Logged("Unsafe name refused: " + std::string(name))) << name;
    EXPECT_EQ(Bytes(player_.parent_path() / "sentinel.txt"), "outside the game folder");
    EXPECT_FALSE(fs::exists(player_.parent_path() / "evil.txt"));
    EXPECT_FALSE(fs::exists(player_ / "evil.txt"));
    EXPECT_FALSE(fs::exists(player_ / "zz/evil.txt"));
    EXPECT_EQ(FilesBelow(player_.parent_path()),
              (std::set<std::string>{"sentinel.txt", "player/ok.txt", "player/updater/OldList.lst"}));
    // The escaping entry was refused, so that file is missing: it counts as failed, never
    // as installed.
    TFileList old(true);
    old.LoadFromFile(PathToUtf8(player_ / "updater/OldList.lst"));
    EXPECT_EQ(old.Count(), 1);
    EXPECT_GE(old.GetId("\\ok.txt"), 0);
    EXPECT_EQ(main->FailedNames(), (std::vector<std::string>{"\\a-gone.txt", "\\bad.txt", "\\zz\\zz_evil.txt"}));
}

// The player's files: a missing one is installed; an edited one survives a changed server
// copy, the required and delete sections and a full check in every mode, each skip logged.
// The patterns ignore letter case and never reach into a deeper folder, and the launcher's
// own file is never the player's, however broad the pattern.
TEST_F(PipelineFixture, ThePlayersFilesAreInstalledOnceAndThenLeftAlone) {
    AddGameFile("system/keys.ini", "[Keys]\r\nJump=Space\r\n", kSummer);
    AddGameFile("system/options.ini", "[Options]\r\nGamma=1\r\n", kSummer);
    AddGameFile("system/sub/deep.ini", "served", kSummer);
    AddGameFile("t2.dat", Generated(5000, 7), kSummer);
    AddGameFile("tarvos.exe", "the new launcher", kSummer);
    WriteBeside("required.txt", "\\system\\keys.ini\n");
    WriteBeside("delete.txt", "\\system\\old.ini\n");
    Publish();

    for (const char* mode : {"Hard: MD5 Hash", "Medium: Size & Date", "Light: Previous List"}) {
        SCOPED_TRACE(mode);
        fs::remove_all(player_);
        fs::copy(game_, player_, fs::copy_options::recursive);
        fs::create_directories(player_ / "updater");
        fs::remove(player_ / "system/options.ini");
        WriteBytes(player_ / "system/keys.ini", "[Keys]\r\nJump=Ctrl\r\n");
        WriteBytes(player_ / "system/old.ini", "mine too");
        WriteBytes(player_ / "system/sub/deep.ini", "changed");
        WriteBytes(player_ / "t2.dat", Generated(5000, 8));
        WriteBytes(player_ / "tarvos.exe", "the old launcher");
        debug_.ts.clear();

        auto main = MakeMain(mode, 1, Url());
        main->OwnedFiles = TOwnedFiles("System\\*.INI | \\nothing\\here | *.exe");
        main->FetchUpdaterList();
        main->CheckingRequiredFiles();
        main->Button_CheckAllFilesClick();

        EXPECT_EQ(Bytes(player_ / "system/options.ini"), Bytes(game_ / "system/options.ini"));
        EXPECT_EQ(Bytes(player_ / "system/keys.ini"), "[Keys]\r\nJump=Ctrl\r\n");
        EXPECT_EQ(Bytes(player_ / "system/old.ini"), "mine too");
        EXPECT_EQ(Bytes(player_ / "system/sub/deep.ini"), "served");
        EXPECT_TRUE(Bytes(player_ / "t2.dat") == Bytes(game_ / "t2.dat"));
        EXPECT_EQ(Bytes(player_ / "tarvos.exe"), "the new launcher");
        for (const char* name : {"\\system\\keys.ini", "\\system\\old.ini"})
            EXPECT_EQ(std::count(debug_.ts.begin(), debug_.ts.end(), "Player's file kept: " + std::string(name)),
                      name == std::string("\\system\\keys.ini") ? 2 : 1)
                << name;
        EXPECT_EQ(main->FailedFiles(), 0);
    }
    EXPECT_EQ(Downloaded(), (std::vector<std::string>{"\\system\\options.ini", "\\system\\sub\\deep.ini", "\\t2.dat",
                                                      "\\tarvos.exe"}));
}

// Serves the lines as the server's list, packed and signed as the publisher does.
void ServeSignedList(const fs::path& root, const fs::path& server, const std::vector<std::string>& lines,
                     const ListSecretKey& key) {
    WriteTextLines(PathToUtf8(root / "plain.lst"), lines);
    BZCompressFile(PathToUtf8(root / "plain.lst"), PathToUtf8(server / "updater.lst.ta2"));
    WriteBytes(server / "updater.lst.ta2.sig", SignList(Bytes(server / "updater.lst.ta2"), key));
}

// A launcher with a key takes only a list signed with it: anything else ends the run as a
// failed list does, with the game folder untouched and no list left; a signed list's entries
// without a packed digest are refused one by one. A launcher without a key ignores signatures.
TEST_F(PipelineFixture, ASignedListIsCheckedBeforeItIsUnpacked) {
    AddGameFile("a.txt", "new a", kSummer);
    AddGameFile("sub/b.txt", "new b", kWinter);
    WriteBeside("required.txt", "\\a.txt\n");
    WriteBeside("delete.txt", "\\old.dll\n");
    Publish();
    const ListKeyPair pair = MakeListKeyPair();
    const std::string packed = Bytes(ServerFolder() / "updater.lst.ta2");
    const std::string signature = SignList(packed, pair.secretKey);
    std::string altered = signature;
    altered[10] ^= 1;
    struct Case {
        const char* what;
        std::string key, signature;  // signature: the file's bytes, "-" for none on the server
        bool taken;
    };
    const std::string key = ListKeyText(pair.publicKey);
    const std::vector<Case> cases = {
        {"unsigned server", key, "-", false},
        {"altered signature", key, altered, false},
        {"another key", ListKeyText(MakeListKeyPair().publicKey), signature, false},
        {"signed", key, signature, true},
        {"keyless launcher, unsigned server", "", "-", true},
        {"keyless launcher, signed server", "", signature, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(player_);
        WriteBytes(player_ / "a.txt", "old a");
        WriteBytes(player_ / "old.dll", "stale");
        fs::create_directories(player_ / "updater");
        fs::remove(ServerFolder() / "updater.lst.ta2.sig");
        if (c.signature != "-") WriteBytes(ServerFolder() / "updater.lst.ta2.sig", c.signature);
        debug_.ts.clear();
        tConfigData config;
        config.UpdateServers.PublicKey = c.key;
        TtucConfig skin;
        auto main = MakeMain("Hard: MD5 Hash", 1, Url());
        main->Attach(config, skin);
        main->FetchUpdaterList();
        EXPECT_EQ(fs::exists(player_ / "updater.lst"), c.taken);
        main->CheckingRequiredFiles();
        EXPECT_TRUE(view_.StartEnabled);
        if (c.taken) {
            EXPECT_EQ(Bytes(player_ / "a.txt"), "new a");
            EXPECT_EQ(Bytes(player_ / "sub/b.txt"), "new b");
            EXPECT_FALSE(fs::exists(player_ / "old.dll"));
        } else {
            EXPECT_EQ(FilesBelow(player_), (std::set<std::string>{"a.txt", "old.dll"}));
            EXPECT_EQ(Bytes(player_ / "a.txt"), "old a");
            ASSERT_FALSE(debug_.ts.empty());
            EXPECT_EQ(debug_.ts[0].rfind("File list refused: ", 0), 0u) << debug_.ts[0];
            EXPECT_TRUE(main->NewFileList->Count() == 0);
        }
    }

    // A signed list covers a file only through its packed digest.
    std::vector<std::string> lines = ReadTextLines(PathToUtf8(ServerFolder() / "updater.lst"));
    for (auto& line : lines)
        if (line.find("b.txt") != std::string::npos) {
            TFileRecord r = ParseFileListLine(line);
            r.HashPacked.clear();
            line = FormatFileListLine(r);
        }
    lines.insert(std::find(lines.begin(), lines.end(), "@"), "\\unlisted.txt");
    ServeSignedList(root_, ServerFolder(), lines, pair.secretKey);
    fs::remove_all(player_);
    fs::create_directories(player_ / "updater");
    debug_.ts.clear();
    tConfigData config;
    config.UpdateServers.PublicKey = key;
    TtucConfig skin;
    auto main = MakeMain("Hard: MD5 Hash", 1, Url());
    main->Attach(config, skin);
    main->FetchUpdaterList();
    main->CheckingRequiredFiles();
    EXPECT_EQ(FilesBelow(player_), (std::set<std::string>{"a.txt", "updater/OldList.lst"}));
    EXPECT_TRUE(Logged("File list entry refused, no packed digest to check: \\sub\\b.txt"));
    EXPECT_TRUE(Logged("File list entry refused, no packed digest to check: \\unlisted.txt"));
}

class SignedPipeline : public PipelineFixture {
protected:
    // Records the programs a run would start: a replaced launcher here is no program.
    struct StartRecorder : Shell {
        bool OpenUrl(const std::string&) override { return false; }
        bool StartElevated(const std::string& file, const std::string&, const std::string&) override {
            started.push_back(file);
            return true;
        }
        std::vector<std::string> started;
    };
    // One run of a launcher with the key: the list, the start-up check and its repairs.
    std::unique_ptr<TFMain> RunKeyed(const std::string& key) {
        debug_.ts.clear();
        config_.UpdateServers.PublicKey = key;
        auto main = MakeMain("Hard: MD5 Hash", 1, Url(), shell_);
        main->Attach(config_, skin_);
        main->OnEndProcess = [](int) {};
        main->FetchUpdaterList();
        main->CheckingRequiredFiles();
        return main;
    }
    tConfigData config_;
    TtucConfig skin_;
    StartRecorder shell_;
};

// Publishing signed with a fresh key: the key's text, for the launcher's configuration.
std::string SignReleases(const fs::path& root, const std::string& extra = "") {
    const ListKeyPair pair = MakeListKeyPair();
    WriteBytes(root / "list.key", SecretKeyText(pair.secretKey) + "\n");
    WriteBytes(root / "options.txt", "--sign '{dir}/list.key' " + extra);
    return ListKeyText(pair.publicKey);
}

// A native launcher file whose configuration carries the key (none when empty), as
// tarvos-pack would leave it: empty skins, the text, packed into the marked slot.
std::string LauncherCarrying(const std::string& key) {
    MemoryStream package;
    for (const int32_t section : {TtucMainWindow().Version(), 0, TtucConfigWindow().Version(), 0})
        package.WriteBuffer(&section, 4);  // each window: its version, no elements
    const std::string text = "[updateservers]\r\nurl=http://x/\r\n" + (key.empty() ? "" : "publickey=" + key + "\r\n");
    package.WriteBuffer(text.data(), text.size());
    package.Seek(0, SeekOrigin::Begin);
    MemoryStream packed;
    BZCompressStream(package, packed);
    const auto scramble = ConfigKey();
    XorStream(packed, std::string_view(reinterpret_cast<const char*>(scramble.data()), scramble.size()));
    std::string slot(kBlankSlotSize, '\0');
    const auto length = static_cast<uint32_t>(packed.Size());
    for (int i = 0; i < 4; ++i) slot[static_cast<size_t>(i)] = static_cast<char>(length >> (8 * i));
    slot.replace(4, packed.Size(), packed.View());
    return std::string("\x7F" "ELF", 4) + std::string(60, '\0') + kBlankMarkerHead + kBlankMarkerTail + slot;
}

// A keyed launcher takes no release older than one it took, nor one past its expiry: both
// end the run as a refused signature does, the folder as it was.
TEST_F(SignedPipeline, AKeyedLauncherRefusesAnOlderOrExpiredRelease) {
    const std::string key = SignReleases(root_, "--expires 1d");
    AddGameFile("a.txt", "release 1", kSummer);
    Publish();
    fs::copy(ServerFolder(), root_ / "release1", fs::copy_options::recursive);
    AddGameFile("a.txt", "release 2, longer", kWinter);
    Publish();
    EXPECT_EQ(RunKeyed(key)->NewFileList->Count(), 1);
    EXPECT_EQ(Bytes(player_ / "a.txt"), "release 2, longer");

    fs::remove_all(ServerFolder());
    fs::copy(root_ / "release1", ServerFolder(), fs::copy_options::recursive);
    const auto rolledBack = RunKeyed(key);
    EXPECT_EQ(rolledBack->NewFileList->Count(), 0) << "no list: the run ends with status 4";
    EXPECT_EQ(rolledBack->ListRefusal(), "release 1 is older than release 2 accepted before");
    EXPECT_TRUE(Logged("File list refused: release 1 is older than release 2 accepted before"));
    EXPECT_EQ(Bytes(player_ / "a.txt"), "release 2, longer");
    EXPECT_FALSE(fs::exists(player_ / "updater.lst"));

    const std::string packed = Bytes(ServerFolder() / "updater.lst.ta2");
    const std::string signature = Bytes(ServerFolder() / "updater.lst.ta2.sig");
    const auto now = static_cast<int64_t>(std::time(nullptr));
    const std::string serials = PathToUtf8(root_ / "serial.txt");
    EXPECT_EQ(CheckFetchedList(packed, signature, key, serials, now).refused, "");
    EXPECT_EQ(CheckFetchedList(packed, signature, key, serials, now + 2 * 86400).refused.rfind("the list expired at ", 0), 0u);
}

// Under a key nothing is installed that no signed digest covers: a required name whose file
// line the launcher passes over (here for its trailing blank) is refused, not fetched blind.
TEST_F(SignedPipeline, ARequiredNameWithoutASignedLineIsRefused) {
    const std::string key = SignReleases(root_);
    AddGameFile("a.txt", "new a", kSummer);
    WriteBeside("required.txt", "\\a.txt\n");
    Publish();
    std::vector<std::string> lines = ReadTextLines(PathToUtf8(ServerFolder() / "updater.lst"));
    for (auto& line : lines)
        if (line.find("a.txt|") != std::string::npos) line.replace(line.find("a.txt|"), 6, "a.txt |");
    ServeSignedList(root_, ServerFolder(), lines, *ParseSecretKey(Bytes(root_ / "list.key")));
    WriteBytes(player_ / "a.txt", "old a");
    const auto main = RunKeyed(key);
    EXPECT_EQ(Bytes(player_ / "a.txt"), "old a");
    EXPECT_TRUE(Logged("File refused, no signed digest covers it: \\a.txt"));
    EXPECT_EQ(main->FailedNames(), std::vector<std::string>{"\\a.txt"});
}

// A keyed launcher replaces itself only by a launcher with its key, or with the key the list
// signed with its key announces; a copy without a key or with another would take lists it
// refuses.
TEST_F(SignedPipeline, AKeyedLauncherStaysKeyedUnlessTheSignedListAnnouncesTheNext) {
    const ListKeyPair next = MakeListKeyPair();
    WriteBytes(root_ / "next.key", SecretKeyText(next.secretKey) + "\n");
    const std::string nextKey = ListKeyText(next.publicKey);
    const std::string key = SignReleases(root_);
    const std::string options = Bytes(root_ / "options.txt");
    struct Case {
        const char* what;
        std::string carried, extra;
        bool replaced;
    } cases[] = {
        {"no key", "", "", false},
        {"another key", ListKeyText(MakeListKeyPair().publicKey), "", false},
        {"the announced key", nextKey, "--next-key '{dir}/next.key'", true},
    };
    double date = kSummer;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(root_ / "options.txt", options + c.extra);
        AddGameFile("tarvos.exe", LauncherCarrying(c.carried), date += 1);  // of equal size: a date apart
        WriteBeside("required.txt", "\\tarvos.exe\n");
        Publish();
        WriteBytes(player_ / "tarvos.exe", "the running launcher");
        shell_.started.clear();
        RunKeyed(key);
        EXPECT_EQ(shell_.started.size(), c.replaced ? 1u : 0u) << "the new launcher takes over";
        EXPECT_EQ(Bytes(player_ / "tarvos.exe") == Bytes(game_ / "tarvos.exe"), c.replaced);
        EXPECT_EQ(Logged("Self-update to the announced key " + nextKey), c.replaced);
    }
}

// Servers that misbehave in the ways real ones do. Alone, each ends in a clear failure after
// three rounds, with nothing recorded as good and the player's old file untouched; with a
// healthy server configured beside it, the same run ends with the right bytes.
TEST_F(PipelineFixture, MisbehavingServersNeverLoopAndNeverLeaveABadFile) {
    AddGameFile("a.bin", Generated(300000, 5), kWinter);
    AddGameFile("b.txt", "little", kSummer);
    Publish();
    for (const char* fault : {"norange", "r416", "short", "head404", "html", "stuck", "stale"}) {
        SCOPED_TRACE(fault);
        std::error_code ec;
        fs::remove_all(player_, ec);
        fs::create_directories(player_ / "updater");
        WriteBytes(player_ / "b.txt", "the player's old copy");
        WriteTextLines(PathToUtf8(player_ / "updater.lst"), ReadTextLines(PathToUtf8(ServerFolder() / "updater.lst")));
        WriteBytes(player_ / "updater.lst", Bytes(player_ / "updater.lst") + "#\r\n\\b.txt\r\n");
        debug_.ts.clear();
        for (bool withHealthy : {false, true}) {
            auto main = MakeMain("Hard: MD5 Hash", 1, Url(fault));
            main->DM = std::make_unique<TDownloadMultiThread>(MainLoop(), 20, 150);
            if (withHealthy) main->FallbackServers = {Url()};
            if (withHealthy) WriteBytes(player_ / "updater.lst", Bytes(ServerFolder() / "updater.lst") + "#\r\n\\b.txt\r\n");
            main->CheckingRequiredFiles();
            EXPECT_TRUE(view_.StartEnabled);
            if (!withHealthy) {
                // A small file in one piece may still arrive whole from a server that ignores
                // ranges; anything else fails, and a failed file is neither changed nor recorded.
                const auto& failed = main->FailedNames();
                EXPECT_EQ(failed.front(), "\\a.bin");
                EXPECT_TRUE(Logged("Download file: a.bin (try 3)"));
                EXPECT_FALSE(Logged("Download file: a.bin (try 4)"));
                EXPECT_FALSE(fs::exists(player_ / "a.bin"));
                const bool bFailed = std::find(failed.begin(), failed.end(), "\\b.txt") != failed.end();
                EXPECT_EQ(Bytes(player_ / "b.txt"), bFailed ? "the player's old copy" : "little");
                const std::string old = Bytes(player_ / "updater/OldList.lst");
                EXPECT_EQ(old.find("|\\a.bin|"), std::string::npos);
                EXPECT_EQ(old.find("|\\b.txt|") == std::string::npos, bFailed);
            } else {
                EXPECT_TRUE(main->FailedNames().empty());
                for (const char* rel : {"a.bin", "b.txt"}) EXPECT_TRUE(Bytes(player_ / rel) == Bytes(game_ / rel)) << rel;
                EXPECT_TRUE(Logged("Served by " + Url() + ": a.bin"));
            }
        }
    }
}

// A server that takes the requests and never answers, or sends the headers and then
// nothing, costs one stall limit (the real one), and the file then comes from the next.
TEST_F(PipelineFixture, ASilentServerHandsTheFileToTheNextAtOnce) {
    AddGameFile("a.bin", Generated(300000, 5), kWinter);
    Publish();
    LoopbackListener neverAnswers;
    for (const std::string& silent : {"http://127.0.0.1:" + std::to_string(neverAnswers.Port()) + "/", Url("hang")}) {
        SCOPED_TRACE(silent);
        std::error_code ec;
        fs::remove_all(player_, ec);
        fs::create_directories(player_ / "updater");
        WriteBytes(player_ / "updater.lst", Bytes(ServerFolder() / "updater.lst"));
        debug_.ts.clear();
        auto main = MakeMain("Hard: MD5 Hash", 1, silent);
        main->FallbackServers = {Url()};
        main->CheckingRequiredFiles();
        EXPECT_TRUE(main->FailedNames().empty());
        EXPECT_TRUE(Bytes(player_ / "a.bin") == Bytes(game_ / "a.bin"));
        EXPECT_TRUE(Logged("Served by " + Url() + ": a.bin"));
        EXPECT_TRUE(Logged("Server not answering, trying the next: a.bin"));
        EXPECT_FALSE(Logged("Download file: a.bin (try 2)"));
    }
}

// Packed files copied from a local folder: nothing is downloaded.
TEST_F(PipelineFixture, FileModeCopiesInsteadOfDownloading) {
    AddGameFile("data/a.bin", Generated(200000, 7), kSummer);
    AddGameFile("b.txt", "b", kWinter);
    Publish();
    auto main = MakeMain("Hard: MD5 Hash", 1, "http://127.0.0.1:9/unused/");
    main->FileModeOn = true;
    main->FileModeFolder = PathToUtf8(ServerFolder()) + "\\";
    main->FetchUpdaterList();
    main->CheckingRequiredFiles();
    EXPECT_TRUE(Bytes(player_ / "data/a.bin") == Bytes(game_ / "data/a.bin"));
    EXPECT_EQ(Bytes(player_ / "b.txt"), "b");
    EXPECT_EQ(ReadSizeAndDate(PathToUtf8(player_ / "b.txt"))->Date, kWinter);
    for (const auto& line : debug_.ts) EXPECT_EQ(line.rfind("Download file: ", 0), std::string::npos) << line;
    EXPECT_EQ(view_.Status.back(), "<5>");
}

// A required name that the file section lacks is fetched without a digest to check, keeps
// the old file's date and is recorded with what was measured of the old file.
TEST_F(PipelineFixture, ARequiredNameWithoutAFileLineIsInstalledWithTheOldDate) {
    AddGameFile("a.txt", "a", kSummer);
    AddGameFile("extra.cfg", "new extra", kSummer);
    WriteBeside("required.txt", "\\extra.cfg\n");
    Publish();
    std::vector<std::string> lines = ReadTextLines(PathToUtf8(ServerFolder() / "updater.lst"));
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const std::string& l) { return l.find("|\\extra.cfg|") != std::string::npos; }),
                lines.end());
    WriteTextLines(PathToUtf8(player_ / "updater.lst"), lines);
    fs::copy_file(game_ / "a.txt", player_ / "a.txt");
    WriteBytes(player_ / "extra.cfg", "old extra, longer");
    ASSERT_TRUE(SetFileTimesLocal(PathToUtf8(player_ / "extra.cfg"), 7, kWinter));
    const std::string oldDigest = FileMD5(PathToUtf8(player_ / "extra.cfg"));

    auto main = MakeMain("Hard: MD5 Hash", 1, Url());
    main->CheckingRequiredFiles();
    EXPECT_EQ(main->FailedNames(), std::vector<std::string>{});
    EXPECT_EQ(Bytes(player_ / "extra.cfg"), "new extra");
    EXPECT_EQ(ReadSizeAndDate(PathToUtf8(player_ / "extra.cfg"))->Date, kWinter);
    TFileList old(true);
    old.LoadFromFile(PathToUtf8(player_ / "updater/OldList.lst"));
    ASSERT_NE(old.GetItemByName("\\extra.cfg"), nullptr);
    EXPECT_EQ(old.GetItemByName("\\extra.cfg")->Content.Hash, oldDigest);
    EXPECT_EQ(old.GetItemByName("\\extra.cfg")->Content.Size, 17);
}

// A replacement is on the disk before it counts: the new data are flushed before the rename,
// the folder after it (on Windows the rename itself writes through), for a game file, the
// list of installed files and the settings file alike.
TEST_F(PipelineFixture, EveryReplacementFlushesThenRenamesThenSyncsTheFolder) {
    AddGameFile("sub/a.txt", "new a", kSummer);
    Publish();
    std::vector<std::string> steps;
    const auto name = [](FileStep s) {
        return s == FileStep::Write ? "write " : s == FileStep::Flush ? "flush " : s == FileStep::Rename ? "rename " : "sync ";
    };
    SetFileStepHookForTests([&](FileStep step, const std::string& path) {
        std::string p = path;
        std::replace(p.begin(), p.end(), '\\', '/');
        // The settings file's staged name is unique per write; its shape is what counts.
        p = std::regex_replace(p, std::regex(R"(TarvosII\.ini\.[0-9a-f]+\.new$)"), "TarvosII.ini.new");
        steps.push_back(name(step) + fs::relative(PathFromUtf8(p), player_).generic_string());
        return 0;
    });
    auto main = MakeMain("Hard: MD5 Hash", 1, Url());
    main->FetchUpdaterList();
    main->CheckingRequiredFiles();
    ASSERT_TRUE(tarvos::SaveIniFile(main->TmpPath, main->User, 1, 2, "English"));
    SetFileStepHookForTests(nullptr);
#ifdef _WIN32
    const std::vector<std::string> want = {
        "flush updater/$ready/0", "rename sub/a.txt",
        "write updater/OldList.lst.new", "flush updater/OldList.lst.new", "rename updater/OldList.lst",
        "write updater/TarvosII.ini.new", "flush updater/TarvosII.ini.new", "rename updater/TarvosII.ini"};
#else
    const std::vector<std::string> want = {
        "flush updater/$ready/0", "rename sub/a.txt", "sync sub",
        "write updater/OldList.lst.new", "flush updater/OldList.lst.new", "rename updater/OldList.lst", "sync updater",
        "write updater/TarvosII.ini.new", "flush updater/TarvosII.ini.new", "rename updater/TarvosII.ini", "sync updater"};
#endif
    EXPECT_EQ(steps, want);
    EXPECT_EQ(Bytes(player_ / "sub/a.txt"), "new a");
}

// A game folder whose "data" lies on another volume (a small memory volume where the test
// may mount one, else every rename there fails as across volumes): its files are copied
// beside their targets and renamed into place, at the first install and at a repair, and
// no work file stays behind.
TEST_F(PipelineFixture, FilesBehindALinkToAnotherVolumeAreInstalledAndRepaired) {
    AddGameFile("data/big.bin", Generated(400000, 21), kSummer);
    AddGameFile("data/b.txt", "b", kWinter);
    AddGameFile("top.txt", "top", kWinter);
    Publish();
    TempDir elsewhere;
    bool mounted = false;
#ifndef _WIN32
    mounted = geteuid() == 0 && std::system(("mount -t tmpfs -o size=8m tmpfs '" + elsewhere.Path() + "' 2>/dev/null").c_str()) == 0;
#endif
    struct Unmount {
        bool on;
        std::string p;
        ~Unmount() {
            if (on) std::system(("umount -l '" + p + "'").c_str());
        }
    } unmount{mounted, elsewhere.Path()};
    int renames = 0;
    const std::string dataFolder = PathToUtf8(player_) + "\\data\\";
    if (mounted) {
        fs::create_directory_symlink(PathFromUtf8(elsewhere.Path()), player_ / "data");
    } else {
        fs::create_directories(player_ / "data");
        SetFileStepHookForTests([&](FileStep step, const std::string& path) {
            const bool there = step == FileStep::Rename && path.rfind(dataFolder, 0) == 0;
            // The copy beside the target is on the volume; only renames from the work folder fail.
            if (there && ++renames % 2 == 1) {
#ifdef _WIN32
                return 17;  // ERROR_NOT_SAME_DEVICE
#else
                return EXDEV;
#endif
            }
            return 0;
        });
    }
    auto main = MakeMain("Hard: MD5 Hash", 1, Url());
    main->FetchUpdaterList();
    main->CheckingRequiredFiles();
    // A changed file, repaired by the full check, and a copy a killed run left beside a
    // file, removed once the check holds the lock.
    WriteBytes(player_ / "data/big.bin", Generated(400000, 22));
    WriteBytes(player_ / "data/leftover.bin.$new", "a killed copy");
    WriteBytes(player_ / "updater/$beside.lst", "\xEF\xBB\xBF" + main->MainPath + "\\data\\leftover.bin.$new\r\n");
    auto again = MakeMain("Hard: MD5 Hash", 1, Url());
    again->FetchUpdaterList();
    again->CheckingRequiredFiles();
    again->Button_CheckAllFilesClick();
    SetFileStepHookForTests(nullptr);
    EXPECT_EQ(main->FailedFiles() + again->FailedFiles(), 0);
    for (const auto& rel : FilesBelow(game_)) {
        EXPECT_TRUE(Bytes(player_ / rel) == Bytes(game_ / rel)) << rel;
        EXPECT_EQ(ReadSizeAndDate(PathToUtf8(player_ / rel))->Date, ReadSizeAndDate(PathToUtf8(game_ / rel))->Date) << rel;
    }
    EXPECT_EQ(FilesBelow(player_ / "data"), (std::set<std::string>{"big.bin", "b.txt"}));
    if (!mounted) {
        EXPECT_EQ(renames, 6);  // two installs and a repair, each refused once
    }
}

// A replacement the system refuses (the file held open by another program on Windows, a
// refused rename elsewhere) keeps the old file whole: it counts as failed, is not recorded,
// and leaves nothing of the new one behind.
TEST_F(PipelineFixture, AReplacementThatFailsKeepsTheOldFileWhole) {
    AddGameFile("a.txt", "new a", kSummer);
    WriteBeside("required.txt", "\\a.txt\n");
    Publish();
    WriteBytes(player_ / "a.txt", "old a");
#ifdef _WIN32
    HANDLE held = CreateFileW((player_ / "a.txt").wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
#else
    const std::string target = PathToUtf8(player_) + "\\a.txt";
    SetFileStepHookForTests([&](FileStep step, const std::string& path) {
        return step == FileStep::Rename && path == target ? EACCES : 0;
    });
#endif
    auto main = MakeMain("Hard: MD5 Hash", 1, Url());
    main->FetchUpdaterList();
    main->CheckingRequiredFiles();
#ifdef _WIN32
    CloseHandle(held);
#else
    SetFileStepHookForTests(nullptr);
#endif
    EXPECT_EQ(main->FailedNames(), std::vector<std::string>{"\\a.txt"});
    EXPECT_EQ(Bytes(player_ / "a.txt"), "old a");
    EXPECT_EQ(FilesBelow(player_), (std::set<std::string>{"a.txt", "updater/OldList.lst"}));
    EXPECT_EQ(Bytes(player_ / "updater/OldList.lst").find("a.txt"), std::string::npos);
}

// A work folder that cannot hold the lock (a plain file in its place) is not another
// launcher: the run names the folder and ends with status 1, and changes nothing.
TEST_F(PipelineFixture, AWorkFolderThatCannotHoldTheLockIsNamedAndTheRunEndsWithOne) {
    fs::remove_all(player_ / "updater");
    WriteBytes(player_ / "updater", "not a folder");
    tConfigData config;
    TtucConfig skin;
    auto main = MakeMain("Hard: MD5 Hash", 1, Url());
    main->Attach(config, skin);
    int code = -1;
    main->OnEndProcess = [&](int c) { code = c; };
    main->MainTimerTimer();
    EXPECT_EQ(code, 1);
    ASSERT_EQ(view_.Messages.size(), 1u);
    EXPECT_NE(view_.Messages[0].find(PathToUtf8(PathFromUtf8(main->TmpPath))), std::string::npos) << view_.Messages[0];
    EXPECT_FALSE(main->FolderBusy());
    EXPECT_EQ(Bytes(player_ / "updater"), "not a folder");
}

#ifdef TARVOS_PIPELINE_DRIVER
// The windowless launcher run as a process of its own, started through the platform's shell.
class PipelineProcess : public PipelineFixture {
protected:
    void SetUp() override {
        PipelineFixture::SetUp();
        if (IsSkipped()) return;
        driver_ = TARVOS_PIPELINE_DRIVER;
#ifdef _WIN32
        if (driver_[0] == '/') driver_ = "Z:" + driver_;  // Wine shows the host's root as Z:
#endif
        exeName_ = PathFromUtf8(driver_).filename().string();
    }
    void TearDown() override {
        for (const char* name :
             {"TARVOS_DRIVER_FULL", "TARVOS_DRIVER_DIE_DURING", "TARVOS_DRIVER_STOP_AFTER", "TARVOS_DRIVER_DIE_AT"})
            SetEnv(name, "");
    }

    // A full check over slow answers, so that the launcher is still downloading "big.bin"
    // when it dies; then a moment for the dead process's files to settle.
    void DieWhileFetchingBig() {
        RunUntil("dying 1", {{"TARVOS_DRIVER_URL", Url("rate=300000")},
                             {"TARVOS_DRIVER_GEN", "1"},
                             {"TARVOS_DRIVER_FULL", "1"},
                             {"TARVOS_DRIVER_DIE_DURING", "big.bin"}});
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }

    // The launcher as the player has it, in the game folder under its own name.
    void InstallLauncher() {
        WriteBytes(player_ / exeName_, Bytes(PathFromUtf8(driver_)));
        fs::permissions(player_ / exeName_, fs::perms::owner_all, fs::perm_options::add);
    }

    // Starts the launcher (under its own name unless another is given) in the player's
    // folder and waits until its record holds `line` (a line that begins so, when it ends
    // in "*").
    void RunUntil(const std::string& line, const std::map<std::string, std::string>& env, std::string file = "") {
        SetEnv("TARVOS_DRIVER_URL", Url());
        SetEnv("TARVOS_DRIVER_MODE", "Hard: MD5 Hash");
        SetEnv("TARVOS_DRIVER_DRIVE", "SSD");
        for (const auto& [k, v] : env) SetEnv(k.c_str(), v);
        if (file.empty()) file = exeName_;
#ifdef _WIN32
        // The shell starts programs by their ending; a ".bak" copy is started as a program.
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::wstring app = (player_ / file).wstring(), dir = player_.wstring();
        ASSERT_TRUE(CreateProcessW(app.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi));
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
#else
        ASSERT_TRUE(SystemShell().StartElevated(file, "", PathToUtf8(player_)));
#endif
        for (int i = 0; i < 1200 && !Recorded(line); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(Recorded(line)) << Bytes(player_ / "updater/driver.txt")
                                    << Bytes(player_ / "updater/log.err");
    }
    bool Recorded(const std::string& line) const {
        const auto lines = SplitLines(Bytes(player_ / "updater/driver.txt"));
        if (!line.empty() && line.back() == '*')
            return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
                return l.rfind(line.substr(0, line.size() - 1), 0) == 0;
            });
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // An empty player folder; the launcher that finished the last round may still be ending.
    void ClearPlayer() {
        std::error_code ec;
        for (int i = 0; i < 100 && (fs::remove_all(player_, ec), ec); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        fs::create_directories(player_ / "updater");
    }
    std::vector<std::string> LogLines() const {
        return ReadTextLines(PathToUtf8(player_ / "updater/log.err"));
    }

    std::string driver_, exeName_;
};

// The launcher listed with a new version replaces its own executable first, saves the settings
// and starts the new one, which finishes the update; a replacement that fails to arrive puts
// the old executable back and the running launcher goes on.
TEST_F(PipelineProcess, ReplacesItselfAndRestartsOrKeepsTheOldOneWhenThatFails) {
    for (bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "damaged replacement" : "good replacement");
        fs::remove_all(game_);
        fs::remove_all(ServerFolder());
        // The launcher that finished the last round may still be on its way out.
        std::error_code ec;
        for (int i = 0; i < 100 && (fs::remove_all(player_, ec), ec); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        fs::create_directories(player_ / "updater");
        const std::string fresh = Bytes(PathFromUtf8(driver_));
        const std::string old = fresh + "an older build";
        AddGameFile(exeName_, fresh, kSummer);
        fs::permissions(game_ / exeName_, fs::perms::owner_all, fs::perm_options::add);
        AddGameFile("data/a.bin", Generated(300000, 9), kWinter);
        WriteBeside("required.txt", "\\" + exeName_ + "\n");
        Publish();
        if (damaged) WriteBytes(ServerFolder() / (exeName_ + ".ta2"), "not an archive");
        WriteBytes(player_ / exeName_, old);
        fs::permissions(player_ / exeName_, fs::perms::owner_all, fs::perm_options::add);

        // Light mode decides from the previous-state list alone: the restarted launcher
        // must find its own new executable recorded there, or it replaces itself forever.
        RunUntil(damaged ? "done 1" : "done 2",
                 {{"TARVOS_DRIVER_GEN", "1"}, {"TARVOS_DRIVER_MODE", damaged ? "Hard: MD5 Hash" : "Light: Previous List"}});
        EXPECT_TRUE(Bytes(player_ / exeName_) == (damaged ? old : fresh));
        EXPECT_FALSE(fs::exists(player_ / (exeName_ + ".bak")));
        EXPECT_TRUE(Bytes(player_ / "data/a.bin") == Bytes(game_ / "data/a.bin"));
        EXPECT_EQ(Recorded("settings 1"), !damaged);
        EXPECT_FALSE(Recorded("done 1") && Recorded("done 2"));
        if (damaged) {
            const auto log = LogLines();
            EXPECT_NE(
                std::find(log.begin(), log.end(), "FItem.Content.Name " + exeName_ + ": hash error !!!"),
                log.end());
        }
    }
}

// A launcher that dies while a download runs leaves the old file whole in its place; the
// next run repairs everything.
TEST_F(PipelineProcess, AnUpdateKilledMidwayIsCompletedByTheNextRun) {
    AddGameFile("big.bin", Generated(3000000, 11), kSummer);
    AddGameFile("data/small.txt", "small", kWinter);
    AddGameFile("zz.txt", "last", kWinter);
    Publish();
    fs::copy(game_, player_, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    WriteBytes(player_ / "big.bin", Generated(3000000, 12));
    InstallLauncher();
    fs::remove(player_ / "zz.txt");
    DieWhileFetchingBig();
    EXPECT_TRUE(Bytes(player_ / "big.bin") == Generated(3000000, 12));

    RunUntil("done 2",
             {{"TARVOS_DRIVER_GEN", "2"}, {"TARVOS_DRIVER_FULL", "1"}, {"TARVOS_DRIVER_DIE_DURING", ""}});
    for (const auto& rel : FilesBelow(game_)) EXPECT_TRUE(Bytes(player_ / rel) == Bytes(game_ / rel)) << rel;
    EXPECT_FALSE(fs::exists(player_ / "updater/$tmp.ta2"));
}

// A launcher killed while a big file downloads and the small files behind it have been
// fetched ahead: every game file is old or new and whole, and the next run finishes without
// fetching again what had arrived whole.
TEST_F(PipelineProcess, AKilledRunKeepsWhatWasFetchedAheadWhole) {
    constexpr int kSmall = 8;
    const auto small = [](int i) { return "small/s" + std::to_string(i) + ".txt"; };
    AddGameFile("big.bin", Generated(3000000, 11), kSummer);
    for (int i = 0; i < kSmall; ++i) AddGameFile(small(i), Generated(3000 + i, 20 + i), kWinter);
    Publish();
    fs::copy(game_, player_, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    WriteBytes(player_ / "big.bin", Generated(3000000, 12));
    for (int i = 0; i < kSmall; ++i) WriteBytes(player_ / small(i), "old " + std::to_string(i));
    InstallLauncher();
    DieWhileFetchingBig();
    EXPECT_TRUE(Bytes(player_ / "big.bin") == Generated(3000000, 12));
    for (int i = 0; i < kSmall; ++i) {
        const std::string now = Bytes(player_ / small(i));
        EXPECT_TRUE(now == "old " + std::to_string(i) || now == Bytes(game_ / small(i))) << small(i);
    }

    RunUntil("done 2",
             {{"TARVOS_DRIVER_GEN", "2"}, {"TARVOS_DRIVER_FULL", "1"}, {"TARVOS_DRIVER_DIE_DURING", ""}});
    for (const auto& rel : FilesBelow(game_)) EXPECT_TRUE(Bytes(player_ / rel) == Bytes(game_ / rel)) << rel;
    const auto requests = server_.Log(token_);
    for (int i = 0; i < kSmall; ++i) {
        const std::string get = "/" + small(i) + ".ta2 ";
        EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                                [&](const std::string& l) { return l.rfind("GET ", 0) == 0 && l.find(get) != std::string::npos; }),
                  1)
            << small(i);
    }
}

// A player closing the launcher while the server keeps it waiting (here for the sizes of
// the files to fetch) ends the run at once, and the game folder is free for the next one.
TEST_F(PipelineProcess, ClosingWhileTheServerIsSilentEndsAtOnceAndFreesTheFolder) {
    AddGameFile("a.bin", Generated(300000, 5), kWinter);
    Publish();
    fs::create_directories(player_ / "updater");
    InstallLauncher();
    RunUntil("stopping 1",
             {{"TARVOS_DRIVER_URL", Url("mute")}, {"TARVOS_DRIVER_GEN", "1"}, {"TARVOS_DRIVER_STOP_AFTER", "1500"}});
    FileLock lock;
    for (int i = 0; i < 100 && !lock.TryAcquire(PathToUtf8(player_ / "updater/$lock")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(lock.Held());
    lock.Release();
    EXPECT_FALSE(Recorded("done 1"));
    const auto asked = server_.Log(token_);
    EXPECT_NE(std::find_if(asked.begin(), asked.end(),
                           [](const std::string& l) { return l.rfind("HEAD ", 0) == 0 && l.find("a.bin.ta2") != std::string::npos; }),
              asked.end());
}
#endif

#ifdef TARVOS_PIPELINE_DRIVER
// Killed at fixed points of an update (unpacking a file, installing it, between the two
// renames that replace the launcher, saving the list of installed files), the launcher
// leaves every file old and whole or new and whole, and the next run, started under
// whichever name the launcher has, ends with the release. A launcher found only as its
// ".bak" copy takes its name back.
TEST_F(PipelineProcess, KilledAtFixedPointsEveryFileIsOldOrNewAndTheRerunFinishes) {
    const std::string fresh = Bytes(PathFromUtf8(driver_));
    AddGameFile(exeName_, fresh, kSummer);
    fs::permissions(game_ / exeName_, fs::perms::owner_all, fs::perm_options::add);
    AddGameFile("big.bin", Generated(3000000, 13), kWinter);
    AddGameFile("data/small.txt", "small, new", kSummer);
    WriteBeside("required.txt", "\\" + exeName_ + "\n");
    Publish();
    const std::map<std::string, std::string> previous = {
        {exeName_, fresh + "an older build"}, {"big.bin", Generated(3000000, 14)}, {"data/small.txt", "small, old"}};
    for (const std::string point : {"unpack:big.bin", "install:big.bin", "self", "list", "none"}) {
        SCOPED_TRACE(point);
        ClearPlayer();
        for (const auto& [rel, data] : previous) WriteBytes(player_ / rel, data);
        fs::permissions(player_ / exeName_, fs::perms::owner_all, fs::perm_options::add);
        if (point == "none") {
            fs::rename(player_ / exeName_, player_ / (exeName_ + ".bak"));
        } else {
            RunUntil("dying *", {{"TARVOS_DRIVER_GEN", "1"}, {"TARVOS_DRIVER_FULL", "1"}, {"TARVOS_DRIVER_DIE_AT", point}});
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        for (const auto& [rel, data] : previous) {
            fs::path file = player_ / rel;
            if (rel == exeName_ && !fs::exists(file)) file += ".bak";  // cut between the renames
            const std::string have = Bytes(file);
            EXPECT_TRUE(have == data || have == Bytes(game_ / rel)) << rel << " after " << point;
        }
        fs::remove(player_ / "updater/driver.txt");
        const std::string start = fs::exists(player_ / exeName_) ? exeName_ : exeName_ + ".bak";
        const auto bigFetches = [&] {
            const auto log = server_.Log(token_);
            return std::count_if(log.begin(), log.end(), [](const std::string& l) {
                return l.rfind("GET ", 0) == 0 && l.find("/big.bin.ta2 ") != std::string::npos;
            });
        };
        const auto fetchedBefore = bigFetches();
        RunUntil("done *", {{"TARVOS_DRIVER_GEN", "1"}, {"TARVOS_DRIVER_FULL", "1"}, {"TARVOS_DRIVER_DIE_AT", ""}}, start);
        for (const auto& rel : FilesBelow(game_)) EXPECT_TRUE(Bytes(player_ / rel) == Bytes(game_ / rel)) << rel;
        // Killed once its bytes were whole, the file is only unpacked again.
        if (point == std::string("unpack:big.bin") || point == std::string("install:big.bin")) {
            EXPECT_EQ(bigFetches(), fetchedBefore) << "a whole download was fetched again";
        }
        EXPECT_FALSE(fs::exists(player_ / (exeName_ + ".bak")));
    }
}
#endif

// The date set on a file is the date read back, and it is the right moment: local time with
// the daylight saving in force then (the test runs in Central European time).
TEST(FileDates, RoundTripInSummerAndWinter) {
    TempDir dir;
    const std::string file = dir.Path() + "\\f.txt";
    WriteBytes(PathFromUtf8(file), "x");
    const int64_t summerUtc = 1721043930123;  // 2024-07-15 11:45:30.123 UTC = 13:45:30.123 CEST
    const int64_t winterUtc = 1705302310987;  // 2024-01-15 07:05:10.987 UTC = 08:05:10.987 CET
    for (auto [date, utc] : {std::pair{kSummer, summerUtc}, std::pair{kWinter, winterUtc}}) {
        EXPECT_EQ(LocalDateToUtcMs(date), utc);
        EXPECT_EQ(UtcMsToLocalDate(utc), date);
        ASSERT_TRUE(SetFileTimesLocal(file, 7, date));
        EXPECT_EQ(ReadSizeAndDate(file)->Date, date);
    }
    EXPECT_FALSE(SetFileTimesLocal(file, 0, kSummer));
    EXPECT_FALSE(SetFileTimesLocal(file, 8, kSummer));
    EXPECT_FALSE(SetFileTimesLocal(dir.Path() + "\\absent.txt", 7, kSummer));
}

// The total progress text rounds halves to even: 12.5 reads 12, 37.5 reads 38.
TEST(ProgressPercent, RoundsHalvesToEven) {
    EXPECT_EQ(ProgressPercent(1, 8), 12);
    EXPECT_EQ(ProgressPercent(3, 8), 38);
    EXPECT_EQ(ProgressPercent(2, 3), 67);
    EXPECT_EQ(ProgressPercent(0, 0), 0);
}

}  // namespace
}  // namespace tarvos::test
