#include <bzlib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "config/TempFolder.hpp"
#include "launcher/UserSettings.hpp"
#include "platform/FileLock.hpp"
#include "platform/MemoryStream.hpp"
#include "platform/Text.hpp"
#include "transfer/UpdaterDecompress.hpp"

namespace tarvos {
namespace {

namespace fs = std::filesystem;
using testing::FileText;
using testing::TempFolder;

class UserSettingsTest : public ::testing::Test {
protected:
    UserSettingsTest() : folder_("tarvos-settings"), tmpPath_(PathToUtf8(folder_.Path())) {
        config_.ParseConfig(std::string_view("[lang=1033:English]\n0=en\n[lang=1049:Russian]\n0=ru\n"));
    }
    fs::path File(const char* name) const { return folder_.Path() / name; }
    void Write(const char* name, const std::string& bytes) const {
        std::ofstream(File(name), std::ios::binary) << bytes;
    }

    TempFolder folder_;
    std::string tmpPath_;
    tConfigData config_;
};

TEST_F(UserSettingsTest, SavedSettingsReadBack) {
    TUserSettings s;
    s.AutoClose = true;
    s.SelProxy = "Second Proxy";
    s.DriveType = "SSD";
    s.CheckMode = "Medium: Size & Date";
    s.LangFolder = "de";
    ASSERT_TRUE(SaveIniFile(tmpPath_, s, 120, -7, "Russian"));
    EXPECT_EQ(
        FileText(File("TarvosII.ini")),
        "Left = 120\r\nTop = -7\r\nLanguage = Russian\r\nAutoClose = True\r\nSelProxy = Second Proxy\r\n"
        "DriveType = SSD\r\nCheckMode = Medium: Size & Date\r\nLangFolder = de\r\n");

    TUserSettings r;
    LoadIniFile(tmpPath_, r, config_);
    EXPECT_EQ(r.MainLeft, 120);
    EXPECT_EQ(r.MainTop, -7);
    EXPECT_EQ(r.LangConst, 1049);
    EXPECT_TRUE(r.AutoClose);
    EXPECT_EQ(r.SelProxy, "second proxy");  // matched against the proxies without letter case
    EXPECT_EQ(r.DriveType, "SSD");
    EXPECT_EQ(r.CheckMode, "Medium: Size & Date");
    EXPECT_EQ(r.LangFolder, "de");

    // A writer that holds the lock and never lets go: the write is reported as failed after
    // a while, and the old file stays whole.
    {
        FileLock stuck;
        ASSERT_TRUE(stuck.TryAcquire(PathToUtf8(File("TarvosII.ini.lock"))));
        EXPECT_FALSE(SaveIniFile(tmpPath_, TUserSettings{}, 1, 2, "English"));
    }
    EXPECT_EQ(FileText(File("TarvosII.ini")).substr(0, 12), "Left = 120\r\n");
    EXPECT_FALSE(SaveIniFile(tmpPath_ + "\\missing folder", s, 1, 2, "English"));
}

TEST_F(UserSettingsTest, ReadingIsTolerant) {
    TUserSettings r;
    r.LangFolder = "stale";
    LoadIniFile(tmpPath_, r, config_);  // no file: the defaults
    EXPECT_EQ(r.LangFolder, "default");
    EXPECT_EQ(r.SelProxy, "auto");
    EXPECT_EQ(r.LangConst, 0);

    Write("TarvosII.ini",
          "LEFT=100\n  Top =  north \r\nno equals sign here\nColour = red\nAutoClose = TRUE\n"
          "Language = russian\nlanguage = Klingon\r\nCheckMode = Light: Previous List \n"
          "drivetype=ssd\n= orphan value\nLangFolder = de = x\n");
    LoadIniFile(tmpPath_, r, config_);
    EXPECT_EQ(r.MainLeft, 100);
    EXPECT_EQ(r.MainTop, -1);
    EXPECT_TRUE(r.AutoClose);
    EXPECT_EQ(r.LangConst, 1033) << "the later line wins; an unknown name gives the first language";
    EXPECT_EQ(r.CheckMode, "Light: Previous List");
    EXPECT_EQ(r.DriveType, "ssd");
    EXPECT_EQ(r.LangFolder, "de = x");

    Write("TarvosII.ini", "AutoClose = yes\nLeft = 99999999999\n");
    LoadIniFile(tmpPath_, r, config_);
    EXPECT_FALSE(r.AutoClose);
    EXPECT_EQ(r.MainLeft, -1);

    // Positions are decimal only: the skin's hexadecimal forms are not numbers here.
    for (const char* hex : {"$64", "0x20", "x10"}) {
        Write("TarvosII.ini", std::string("Left = ") + hex + "\nTop = +12\n");
        LoadIniFile(tmpPath_, r, config_);
        EXPECT_EQ(r.MainLeft, -1) << hex;
        EXPECT_EQ(r.MainTop, 12);
    }
}

#ifndef _WIN32
// A settings file is whole whoever writes it: two processes at once, the launcher saving its
// settings and a second copy handing over a cap, a hundred times each. No write fails, every
// file read meanwhile is complete, and a cap handed over keeps every other line.
TEST_F(UserSettingsTest, TwoProcessesWritingAtOnceLeaveAWholeFile) {
    TUserSettings s;
    s.DriveType = "SSD";
    ASSERT_TRUE(WriteLimitRate(tmpPath_, 5 << 20, "English"));
    const std::string defaults = FileText(File("TarvosII.ini"));
    EXPECT_EQ(defaults,
              "Left = -1\r\nTop = -1\r\nLanguage = English\r\nAutoClose = False\r\nSelProxy = auto\r\n"
              "DriveType = HDD\r\nCheckMode = Hard: MD5 Hash\r\nLangFolder = default\r\nLimitRate = 5M\r\n")
        << "without a file, the cap comes with the defaults";
    ASSERT_TRUE(SaveIniFile(tmpPath_, s, 10, 20, "Russian"));
    const std::string saved = FileText(File("TarvosII.ini"));
    ASSERT_TRUE(WriteLimitRate(tmpPath_, 4096, "English"));
    EXPECT_EQ(FileText(File("TarvosII.ini")), saved + "LimitRate = 4k\r\n");

    int start[2];
    ASSERT_EQ(pipe(start), 0);
    auto writer = [&](bool saving) {
        const pid_t child = fork();
        if (child != 0) return child;
        char go;
        close(start[1]);
        (void)!read(start[0], &go, 1);  // both begin together, when the pipe closes
        bool ok = true;
        for (int i = 0; i < 300; ++i)
            ok = (saving ? SaveIniFile(tmpPath_, s, i % 2 ? 10 : 1000, 20, "Russian")
                         : WriteLimitRate(tmpPath_, i % 2 ? 4096 : 0, "English")) &&
                 ok;
        _exit(ok ? 0 : 1);
    };
    const pid_t children[] = {writer(true), writer(false)};
    close(start[0]);
    close(start[1]);
    std::set<std::string> seen;
    int running = 2;
    while (running > 0) {
        seen.insert(FileText(File("TarvosII.ini")));
        running = 0;
        for (pid_t child : children) running += waitpid(child, nullptr, WNOHANG) == 0;
    }
    for (pid_t child : children) {
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_TRUE(status == -1 || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << "a write failed";
    }
    seen.insert(FileText(File("TarvosII.ini")));
    std::string moved = saved;
    moved.replace(0, 9, "Left = 1000");
    for (const auto& text : seen)
        EXPECT_TRUE(text == saved || text == moved || text == saved + "LimitRate = 4k\r\n" ||
                    text == moved + "LimitRate = 4k\r\n")
            << text;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder_.Path()))
        EXPECT_TRUE(e.path().filename() == "TarvosII.ini" || e.path().filename() == "TarvosII.ini.lock") << e.path();
}
#endif

// The companion file is unscrambled and unpacked; a damaged one is harmless.
TEST_F(UserSettingsTest, CompanionFileIsReadSafely) {
    EXPECT_FALSE(LoadDatConfig(tmpPath_));
    std::string text = "; comment\n[Section]\nkey=value\n";
    std::string packed(1024, '\0');
    unsigned int len = static_cast<unsigned int>(packed.size());
    ASSERT_EQ(BZ2_bzBuffToBuffCompress(packed.data(), &len, text.data(),
                                       static_cast<unsigned int>(text.size()), 9, 0, 0),
              BZ_OK);
    MemoryStream scrambled(std::string_view(packed.data(), len));
    XorStream(scrambled, "TarvosUserData");
    Write("TarvosII.dat", scrambled.ToString());
    EXPECT_TRUE(LoadDatConfig(tmpPath_));

    Write("TarvosII.dat", std::string(packed.data(), len));  // not scrambled
    EXPECT_FALSE(LoadDatConfig(tmpPath_));
}

}  // namespace
}  // namespace tarvos
