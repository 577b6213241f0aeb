// tarvos-publish as an operator runs it: a game folder in, a server folder out that the
// launcher's own readers take apart; then a change, a deletion, and the refusals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "config/TempFolder.hpp"
#include "inventory/CustomMD5.hpp"
#include "inventory/ListRelease.hpp"
#include "inventory/ListSignature.hpp"
#include "inventory/uClasses.hpp"
#include "platform/DateTime.hpp"
#include "platform/Text.hpp"
#include "transfer/BlockIndex.hpp"
#include "transfer/RAR.hpp"
#include "transfer/UpdaterDecompress.hpp"

using namespace tarvos;
using namespace tarvos::testing;
namespace fs = std::filesystem;

namespace {

const fs::path kPublish =
    fs::path(std::getenv("TARVOS_BINARY_DIR") ? std::getenv("TARVOS_BINARY_DIR") : ".") /
    "tools/tarvos-publish/tarvos-publish";

struct Result {
    int code;
    std::string out;
};

Result Publish(const std::string& args, const std::string& environment = "") {
    Result r{0, {}};
    FILE* p = popen((environment + " " + kPublish.string() + " " + args + " 2>&1").c_str(), "r");
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) r.out.append(buf, n);
    int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// The entry names an archive holds, one a line.
std::string StoredNames(const fs::path& archive) {
    std::string names;
    FILE* p = popen(("LC_ALL=C.UTF-8 unrar lb '" + archive.string() + "'").c_str(), "r");
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) names.append(buf, n);
    pclose(p);
    return names;
}

void Write(const fs::path& p, std::string_view text) {
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

// Sets a file's last-write time to a local wall-clock time with milliseconds.
void SetLocalTime(const fs::path& p, int year, int month, int day, int hour, int ms) {
    std::tm t{};
    t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day, t.tm_hour = hour, t.tm_isdst = -1;
    timespec times[2] = {{0, UTIME_OMIT}, {std::mktime(&t), ms * 1000000L}};
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
}

std::unique_ptr<TFileList> UnpackedList(const fs::path& server) {
    fs::copy_file(server / "updater.lst.ta2", "list.ta2", fs::copy_options::overwrite_existing);
    BZDecompressFile("list.ta2", "list.txt");
    EXPECT_EQ(FileText("list.txt"), FileText(server / "updater.lst"));
    auto lines = ReadTextLines("list.txt");
    auto list = std::make_unique<TFileList>(true);
    list->LoadFromStrings(
        std::vector<std::string>(lines.begin(), std::find(lines.begin(), lines.end(), "#")));
    return list;
}

TEST(PublishTool, PublishesAFolderTheLauncherInstallsByteIdenticalAndRepacksOnlyChanges) {
    TempFolder tmp("publish");
    // A zone with daylight saving, without relying on the machine's time zone data; the tool
    // inherits it.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    const fs::path game = tmp.Path() / "game", server = tmp.Path() / "server";
    std::string big(300000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 5);
    Write(game / "t2.exe", big);
    Write(game / "system/t2.ini", "[Game]\r\nLanguage=1033\r\n");
    Write(game / "data/maps/Überland.map", "map");
    Write(game / "data/old/gone.txt", "soon deleted");
    SetLocalTime(game / "system/t2.ini", 2014, 12, 27, 12, 250);  // in the middle of winter
    SetLocalTime(game / "t2.exe", 2020, 7, 1, 9, 0);              // and of summer
    Write("required.txt", "system\\t2.ini\n\n\\t2.exe\n");
    Write("delete.txt", "/system/old.ini\n");

    Result r = Publish("game server --jobs 2 --required required.txt --delete delete.txt");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("4 packed, 0 unchanged"), std::string::npos) << r.out;

    auto list = UnpackedList(server);
    ASSERT_EQ(list->Count(), 4);
    auto lines = ReadTextLines("list.txt");
    const std::vector<std::string> sections(std::find(lines.begin(), lines.end(), "#"), lines.end());
    EXPECT_EQ(sections,
              (std::vector<std::string>{"#", "\\system\\t2.ini", "\\t2.exe", "@", "\\system\\old.ini"}));
    EXPECT_EQ(list->GetItemByName("\\system\\t2.ini")->Content.Date,
              *EncodeDateTime({2014, 12, 27, 12, 0, 0, 250}));
    EXPECT_EQ(list->GetItemByName("\\t2.exe")->Content.Date, *EncodeDateTime({2020, 7, 1, 9, 0, 0, 0}));

    // Every file as the launcher installs it: fetched archive digest checked, unpacked flat.
    for (int32_t i = 0; i < list->Count(); ++i) {
        const TFileRecord& rec = list->GetItemByID(i)->Content;
        const std::string relative = rec.Name.substr(1);
        const fs::path source = PathFromUtf8(PathToUtf8(game) + rec.Name);
        const fs::path archive = PathFromUtf8(PathToUtf8(server) + rec.Name + ".ta2");
        EXPECT_EQ(rec.Hash, FileMD5(PathToUtf8(source))) << rec.Name;
        EXPECT_EQ(rec.Size, static_cast<int64_t>(fs::file_size(source))) << rec.Name;
        EXPECT_EQ(rec.HashPacked, FileMD5(PathToUtf8(archive))) << rec.Name;
        fs::remove_all("installed");
        fs::create_directories("installed");
        UnRarFile(PathToUtf8(archive), "installed");
        EXPECT_EQ(FileText(fs::path("installed") / source.filename()), FileText(source)) << rec.Name;
        EXPECT_EQ(std::distance(fs::directory_iterator("installed"), fs::directory_iterator()), 1)
            << rec.Name;
        EXPECT_EQ(StoredNames(archive), PathToUtf8(source.filename()) + "\n");
    }

    // Unchanged: nothing repacked. Then one file changes and one disappears.
    const auto untouched = fs::last_write_time(server / "t2.exe.ta2");
    r = Publish("game server --required required.txt --delete delete.txt");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("0 packed, 4 unchanged"), std::string::npos) << r.out;
    Write(game / "system/t2.ini", "[Game]\r\nLanguage=1049\r\n");
    fs::remove_all(game / "data/old");
    r = Publish("game server --required required.txt");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("1 packed, 2 unchanged, 1 archives removed"), std::string::npos) << r.out;
    EXPECT_EQ(fs::last_write_time(server / "t2.exe.ta2"), untouched);
    EXPECT_FALSE(fs::exists(server / "data/old"));
    list = UnpackedList(server);
    ASSERT_EQ(list->Count(), 3);
    EXPECT_EQ(list->GetItemByName("\\system\\t2.ini")->Content.Hash,
              FileMD5(PathToUtf8(game / "system/t2.ini")));
    UnRarFile(PathToUtf8(server / "system/t2.ini.ta2"), "installed");
    EXPECT_EQ(FileText("installed/t2.ini"), "[Game]\r\nLanguage=1049\r\n");
}

TEST(PublishTool, RefusesWhatTheLauncherCouldNotUseAndLeavesTheServerAsItWas) {
    TempFolder tmp("publish-refusals");
    Write("game/t2.exe", "exe");
    ASSERT_EQ(Publish("game server").code, 0);
    const std::string before = FileText("server/updater.lst.ta2");

    Write("game/data/notes.", "a trailing dot, which Windows drops");
    Write("game/T2.EXE", "the same name to the launcher");
    Result r = Publish("game server");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("data/notes.: the launcher refuses this name"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\\T2.EXE: the launcher takes it for \\t2.exe"), std::string::npos) << r.out;
    fs::remove("game/data/notes.");
    fs::remove("game/T2.EXE");

    Write("required.txt", "missing.dat\n");
    r = Publish("game server --required required.txt");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("\\missing.dat: required, but not in the game folder"), std::string::npos) << r.out;

    Write("game/new.txt", "new");
    r = Publish("game server --rar ./no-such-rar");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("--rar ./no-such-rar: no such program"), std::string::npos) << r.out;
    r = Publish("game server", "PATH=/nonexistent");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("the rar program was not found on the search path"), std::string::npos) << r.out;
    r = Publish("game server --rar /bin/false");  // a rar that fails
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("\\new.txt: rar failed (exit code 1)"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists("server/new.txt.ta2"));
    EXPECT_EQ(FileText("server/updater.lst.ta2"), before);
    EXPECT_EQ(std::distance(fs::directory_iterator("server"), fs::directory_iterator()), 3);
}

// Keys made once and never replaced, a signature the launcher's check accepts and that goes
// away when the operator stops signing, and --rehash for content changed behind the same size
// and date.
TEST(PublishTool, SignsWithItsOwnKeyAndRehashesOnRequest) {
    TempFolder tmp("publish-sign");
    Result r = Publish("keygen list.key");
    ASSERT_EQ(r.code, 0) << r.out;
    struct stat st {};
    ASSERT_EQ(stat("list.key", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the secret key is its owner's alone";
    const std::string publicKey = TrimText(FileText("list.key.pub"));
    EXPECT_NE(r.out.find("publickey=" + publicKey), std::string::npos) << r.out;
    const std::string secret = FileText("list.key");
    r = Publish("keygen list.key");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(FileText("list.key"), secret) << "an existing key is never replaced";

    Write("game/a.txt", "aaaa");
    SetLocalTime("game/a.txt", 2020, 7, 1, 9, 0);
    r = Publish("game server --sign list.key.pub");
    EXPECT_EQ(r.code, 1) << "the public half cannot sign";
    EXPECT_FALSE(fs::exists("server/updater.lst.ta2"));
    r = Publish("game server --sign list.key");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(CheckListSignature(FileText("server/updater.lst.ta2"), FileText("server/updater.lst.ta2.sig"), publicKey),
              "");
    // Every signed release goes one serial further, kept beside the key; none goes back.
    ASSERT_EQ(Publish("game server --sign list.key --expires 30d").code, 0);
    ListRelease release;
    EXPECT_EQ(ReadListRelease(ReadTextLines("server/updater.lst"), release), "");
    EXPECT_EQ(release.serial, 2u);
    EXPECT_NEAR(static_cast<double>(release.expires), static_cast<double>(std::time(nullptr) + 30 * 86400), 60);
    EXPECT_EQ(TrimText(FileText("list.key.serial")), "2");
    EXPECT_EQ(Publish("game server --sign list.key --serial 1").code, 1);

    // Same size, same date, other bytes: only --rehash sees it.
    const std::string packedBefore = FileText("server/a.txt.ta2");
    Write("game/a.txt", "bbbb");
    SetLocalTime("game/a.txt", 2020, 7, 1, 9, 0);
    r = Publish("game server --sign list.key");
    EXPECT_NE(r.out.find("0 packed, 1 unchanged"), std::string::npos) << r.out;
    r = Publish("game server --rehash");
    EXPECT_NE(r.out.find("1 packed, 0 unchanged"), std::string::npos) << r.out;
    EXPECT_NE(FileText("server/a.txt.ta2"), packedBefore);
    EXPECT_EQ(UnpackedList("server")->GetItemByName("\\a.txt")->Content.Hash, FileMD5("game/a.txt"));
    EXPECT_FALSE(fs::exists("server/updater.lst.ta2.sig")) << "a signature of an older list is removed";
    r = Publish("game server --rehash");
    EXPECT_NE(r.out.find("0 packed, 1 unchanged"), std::string::npos) << r.out;
}

}  // namespace

TEST(PublishTool, WritesBlockIndexesForBigFilesOnlyAndOnlyWhenTheyChange) {
    TempFolder tmp("publish-delta");
    const fs::path game = tmp.Path() / "game", server = tmp.Path() / "server";
    std::string big(3 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 7);
    Write(game / "data/big.pak", big);
    Write(game / "small.txt", "small");
    EXPECT_EQ(Publish("game server --delta-min-size 512K").code, 2) << "below what a launcher asks for";

    Result r = Publish("game server --delta-min-size 2M");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("1 block indexes"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(server / "small.txt.ta2i"));
    EXPECT_EQ(FileText(server / "data/big.pak.ta2r"), big);
    const std::string wire = FileText(server / "data/big.pak.ta2i");
    BlockIndex index;
    ASSERT_TRUE(ReadBlockIndex(wire.data(), wire.size(), index));
    EXPECT_EQ(index.FileDigestText(), UnpackedList(server)->GetItemByName("\\data\\big.pak")->Content.Hash);

    // Another small change leaves the big file's index alone; a change of the big one
    // replaces it.
    Write(game / "small.txt", "small, changed");
    r = Publish("game server --delta-min-size 2M");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out.find("block indexes"), std::string::npos) << r.out;
    big[12345] ^= 1;
    Write(game / "data/big.pak", big);
    ASSERT_EQ(Publish("game server --delta-min-size 2M").code, 0);
    EXPECT_EQ(FileText(server / "data/big.pak.ta2r"), big);
    EXPECT_NE(FileText(server / "data/big.pak.ta2i"), wire);

    // Turned off, the stale ones go; so do those of a file that is no longer published.
    ASSERT_EQ(Publish("game server").code, 0);
    EXPECT_FALSE(fs::exists(server / "data/big.pak.ta2i"));
    EXPECT_FALSE(fs::exists(server / "data/big.pak.ta2r"));
    ASSERT_EQ(Publish("game server --delta-min-size 1M").code, 0);
    fs::remove(game / "data/big.pak");
    ASSERT_EQ(Publish("game server --delta-min-size 1M").code, 0);
    EXPECT_FALSE(fs::exists(server / "data"));
}
