// The update pipeline end to end: a generated game published to a server folder, served over
// HTTP, and a player's folder brought up to date by the real controller, downloader, digests
// and RAR extraction, observed through a recording view.
#include <cctype>

#include "inventory/CustomMD5.hpp"
#include "launcher/PipelineFixture.hpp"
#include "support/RarPatch.hpp"

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
    const std::vector<std::string> startup = {"\\data\\maps\\world.map", "\\sound\\new.ogg", "\\system\\t2.ini"};
    EXPECT_EQ(Downloaded(), startup);
    EXPECT_EQ(view_.Total, (std::vector<std::string>{"<24>0%", "<24>0%", "<24>33%", "<24>67%", "<24>100%"}));
    EXPECT_EQ(view_.Status.back(), "<5>");
    EXPECT_TRUE(view_.StartEnabled);
    EXPECT_EQ(view_.StartCursor, MainCursor::Hand);
    EXPECT_TRUE(view_.CheckAllVisible);
    EXPECT_FALSE(fs::exists(player_ / "old/legacy.dll"));
    EXPECT_FALSE(fs::exists(player_ / "updater.lst"));

    view_.Total.clear();
    main->Button_CheckAllFilesClick();
    std::vector<std::string> all = startup;
    all.insert(all.end(), c.fullCheckRepairs.begin(), c.fullCheckRepairs.end());
    EXPECT_EQ(Downloaded(), all);
    EXPECT_EQ(view_.Total, c.fullCheckTotals);
    EXPECT_EQ(view_.Status.back(), "<6>");
    EXPECT_FALSE(view_.CheckAllEnabled);
    EXPECT_EQ(view_.OutOfRange, 0);

    // Every listed file as published, dated as listed; the player's own file untouched.
    auto server = ServerList();
    std::set<std::string> expected = FilesBelow(game_);
    expected.insert({"screenshots/shot1.bmp", "updater/OldList.lst"});
    EXPECT_EQ(FilesBelow(player_), expected);
    for (const auto& rel : FilesBelow(game_)) {
        EXPECT_EQ(Bytes(player_ / rel), Bytes(game_ / rel)) << rel;
        const bool bare = light && std::find(startup.begin(), startup.end(), ListName(rel)) != startup.end();
        if (!bare) {  // a light start fetches unknown files by their bare names, without a date
            EXPECT_EQ(ReadSizeAndDate(PathToUtf8(player_ / rel))->Date, server->GetItemByName(ListName(rel))->Content.Date)
                << rel;
        }
    }
    EXPECT_EQ(Bytes(player_ / "screenshots/shot1.bmp"), "mine");
    EXPECT_EQ(ReadSizeAndDate(PathToUtf8(player_ / "screenshots/shot1.bmp"))->Date, shotDate);
    EXPECT_EQ(Bytes(player_.parent_path() / "sentinel.txt"), "outside the game folder");

    // The previous-state list holds the server's records, bare ones for light's blind fetches.
    TFileList old(true);
    old.LoadFromFile(PathToUtf8(player_ / "updater/OldList.lst"));
    ASSERT_EQ(old.Count(), server->Count());
    for (int32_t i = 0; i < server->Count(); ++i) {
        TFileRecord want = server->GetItemByID(i)->Content;
        if (light && std::find(startup.begin(), startup.end(), want.Name) != startup.end())
            want = TFileRecord{want.Name, std::string(kEmptyDigest), std::string(kEmptyDigest), 0, 0};
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
    ::testing::Values(
        ModeCase{"Hard: MD5 Hash", 1, {"\\data\\strings.txt", "\\data\\textures.pak"}, {"<24>0%", "<24>0%", "<24>25%", "<24>100%"}},
        ModeCase{"hard: md5 hash", 3, {"\\data\\strings.txt", "\\data\\textures.pak"}, {"<24>0%", "<24>0%", "<24>25%", "<24>100%"}},
        ModeCase{"Medium: Size & Date", 1, {"\\data\\strings.txt", "\\data\\textures.pak", "\\readme.txt"},
                 {"<24>0%", "<24>0%", "<24>25%", "<24>50%", "<24>100%"}},
        ModeCase{"Medium: Size & Date", 3, {"\\data\\strings.txt", "\\data\\textures.pak", "\\readme.txt"},
                 {"<24>0%", "<24>0%", "<24>25%", "<24>50%", "<24>100%"}},
        ModeCase{"Light: Previous List", 1, {"\\data\\strings.txt", "\\data\\textures.pak", "\\readme.txt", "\\t2.dat"},
                 {"<24>0%", "<24>0%", "<24>25%", "<24>50%", "<24>75%", "<24>100%"}},
        ModeCase{"Light: Previous List", 3, {"\\data\\strings.txt", "\\data\\textures.pak", "\\readme.txt", "\\t2.dat"},
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
            EXPECT_TRUE(Logged("Download file: " + std::string(name) + " (try " + std::to_string(r) + ")")) << name;
        EXPECT_TRUE(Logged("FItem.Content.Name " + std::string(name) + ": hash error !!!")) << name;
    }
    for (const char* name : {"\\..\\sentinel.txt", "\\C:\\evil.txt", "\\..\\..\\evil.txt", "\\\\\\share\\evil.txt",
                             "\\sub\\. \\x"})
        EXPECT_TRUE(Logged("Unsafe name refused: " + std::string(name))) << name;
    EXPECT_EQ(Bytes(player_.parent_path() / "sentinel.txt"), "outside the game folder");
    EXPECT_FALSE(fs::exists(player_.parent_path() / "evil.txt"));
    EXPECT_FALSE(fs::exists(player_ / "evil.txt"));
    EXPECT_FALSE(fs::exists(player_ / "zz/evil.txt"));
    EXPECT_EQ(FilesBelow(player_.parent_path()),
              (std::set<std::string>{"sentinel.txt", "player/ok.txt", "player/updater/OldList.lst"}));
    TFileList old(true);
    old.LoadFromFile(PathToUtf8(player_ / "updater/OldList.lst"));
    EXPECT_EQ(old.Count(), 2);  // ok.txt and the escaping archive's file, recorded as unpacked
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
    EXPECT_EQ(Bytes(player_ / "data/a.bin"), Bytes(game_ / "data/a.bin"));
    EXPECT_EQ(Bytes(player_ / "b.txt"), "b");
    EXPECT_EQ(ReadSizeAndDate(PathToUtf8(player_ / "b.txt"))->Date, kWinter);
    for (const auto& line : debug_.ts) EXPECT_EQ(line.rfind("Download file: ", 0), std::string::npos) << line;
    EXPECT_EQ(view_.Status.back(), "<5>");
}

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

}  // namespace
}  // namespace tarvos::test
