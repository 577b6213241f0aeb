#include <bzlib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "config/TempFolder.hpp"
#include "launcher/UserSettings.hpp"
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

    // A file that cannot be written is reported and the old one stays whole.
    fs::create_directory(File("TarvosII.ini.new"));
    EXPECT_FALSE(SaveIniFile(tmpPath_, TUserSettings{}, 1, 2, "English"));
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
