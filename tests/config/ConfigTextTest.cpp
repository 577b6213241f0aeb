#include <gtest/gtest.h>

#include "config/IntegerReading.hpp"
#include "config/uConfigData.hpp"

using namespace tarvos;

TEST(IntegerReading, AcceptsSignsPrefixesAndNothingElse) {
    EXPECT_EQ(ReadInteger("7777"), 7777);
    EXPECT_EQ(ReadInteger("  -12"), -12);
    EXPECT_EQ(ReadInteger("+5"), 5);
    EXPECT_EQ(ReadInteger("$ff"), 255);
    EXPECT_EQ(ReadInteger("x1F"), 31);
    EXPECT_EQ(ReadInteger("0X10"), 16);
    EXPECT_EQ(ReadInteger("-$10"), -16);
    EXPECT_EQ(ReadInteger("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(ReadInteger("-9223372036854775808"), INT64_MIN);
    for (const char* bad : {"", " ", "7777 ", "12a", "$", "0x", "--1", "9223372036854775808", "$1FFFFFFFFFFFFFFFF", "\t1"})
        EXPECT_FALSE(ReadInteger(bad)) << '"' << bad << '"';
    EXPECT_EQ(ReadInteger32("$FFFFFFFF"), -1) << "the low 32 bits are used";
    EXPECT_EQ(ReadInteger32("4294967297"), 1);
    EXPECT_EQ(ReadInteger32("junk"), 0);
}

namespace {
tConfigData Parse(std::string_view text) {
    tConfigData c;
    c.ParseConfig(text);
    return c;
}
}  // namespace

TEST(ParseConfig, FillsEverySectionAndKey) {
    tConfigData c = Parse(
        "ignored=before any section\r\n"
        "[Config]\r\n instance = Game Launcher \r\ntrayhint=Hint\nDefaultLanguage=Deutsch\n"
        "usercan_changelanguage=TRUE\ndefaultautoclose=true\nusercan_changeautoclose=yes\n"
        "usercan_changeproxy=[true]\nusercan_changedrivetype= true \nusercan_changecheckmethod=true\n"
        "language_folder=default;system|Deutsch;de\nurl=http://not-a-server/\n"
        "[mainwindow]\rcaption=[  Spaced  ]\rfadeeffect=true\r"
        "[settingwindow]\nfadeeffect=true\n"
        "[updateservers]\nuseping=true\nrandomselect=true\nurl=http://a/\nurl=[ http://b/ ]\n"
        "[unknown]\ninstance=never\n"
        "[gameproxys]\nuseproxy=true\nport=[7777]\nproxy=One|127.0.0.1|one.ini\n"
        "[config]\ntrayhint=Later wins\n");
    EXPECT_EQ(c.Config.Instance, "Game Launcher");
    EXPECT_EQ(c.Config.TrayHint, "Later wins") << "a section may come again; a later key wins";
    EXPECT_EQ(c.Config.DefaultLanguage, "Deutsch");
    EXPECT_TRUE(c.Config.UserCan_ChangeLanguage);
    EXPECT_TRUE(c.Config.DefaultAutoClose);
    EXPECT_FALSE(c.Config.UserCan_ChangeAutoClose);
    EXPECT_TRUE(c.Config.UserCan_ChangeProxy);
    EXPECT_TRUE(c.Config.UserCan_ChangeDriveType);
    EXPECT_TRUE(c.Config.UserCan_ChangeCheckMethod);
    EXPECT_EQ(c.Config.LangFolder, "default;system|Deutsch;de");
    EXPECT_EQ(c.MainWindow.Caption, "  Spaced  ");
    EXPECT_TRUE(c.MainWindow.FadeEffect);
    EXPECT_TRUE(c.SettingsWindow.FadeEffect);
    EXPECT_TRUE(c.UpdateServers.UsePing);
    EXPECT_TRUE(c.UpdateServers.RandomSelect);
    EXPECT_EQ(c.UpdateServers.Servers, (std::vector<std::string>{"http://a/", "http://b/"}));
    EXPECT_TRUE(c.ProxyServers.UseProxy);
    EXPECT_EQ(c.ProxyServers.Port, 7777);
    EXPECT_EQ(c.ProxyServers.Servers, (std::vector<std::string>{"One|127.0.0.1|one.ini"}));
}

TEST(ParseConfig, BracketsAndNumbersFollowTheValueRules) {
    EXPECT_EQ(Parse("[gameproxys]\nport=[7777 ]").ProxyServers.Port, 0) << "a blank inside brackets stays";
    EXPECT_EQ(Parse("[gameproxys]\nport=[ 7777]").ProxyServers.Port, 7777);
    EXPECT_EQ(Parse("[gameproxys]\nport=$1E61").ProxyServers.Port, 7777);
    EXPECT_EQ(Parse("[mainwindow]\ncaption=Title]").MainWindow.Caption, "Title]");
    EXPECT_EQ(Parse("[mainwindow]\ncaption=[Title").MainWindow.Caption, "Title");
    EXPECT_EQ(Parse("[mainwindow]\ncaption=x\ncaption=").MainWindow.Caption, "") << "an empty value is a value";
    EXPECT_TRUE(Parse("[updateservers]\nuseping=[true]").UpdateServers.UsePing);
    EXPECT_FALSE(Parse("[updateservers]\nuseping=yes").UpdateServers.UsePing);
    EXPECT_EQ(Parse("[updateservers=anything]\nurl=u").UpdateServers.Servers.size(), 1u) << "name ends at \"=\"";
    tConfigData empty;
    EXPECT_FALSE(empty.ParseConfig(""));
    EXPECT_TRUE(empty.ParseConfig("\n"));
    EXPECT_TRUE(empty.UpdateServers.Servers.empty());
}

TEST(ParseConfig, ReadsByteOrderMarks) {
    std::string utf16("\xFF\xFE", 2);
    for (char ch : std::string("[config]\r\ninstance=I\xC3\xA9")) {
        if (static_cast<unsigned char>(ch) == 0xC3) continue;
        utf16 += static_cast<unsigned char>(ch) == 0xA9 ? '\xE9' : ch;
        utf16 += '\0';
    }
    EXPECT_EQ(Parse(utf16).Config.Instance, "I\xC3\xA9");
    EXPECT_EQ(Parse("\xEF\xBB\xBF[config]\ninstance=\xD0\x96").Config.Instance, "\xD0\x96");
}

namespace {
const char* kLanguages =
    "[lang=1033:English]\n0=http://news/en\n1=[Unpacking ]\n2=two\n2=second two\n7=\n101=too high\n-1=negative\n"
    "x=into zero?\n24=trailing]\n25=[\n"
    "[lang=1049:Russian]\n0=http://news/ru\n3=three\n"
    "[lang= 1031 :German]\n0=http://news/de\n"
    "[lang=Nameless]\n";
}

TEST(Languages, CollectionKeepsIdsAndNamesAsWritten) {
    tConfigData c = Parse(kLanguages);
    ASSERT_EQ(c.LanguageCollection.List.size(), 4u);
    EXPECT_EQ(c.LanguageCollection.List[0].text, "1033");
    EXPECT_EQ(c.LanguageCollection.List[0].object->Item, "English");
    EXPECT_EQ(c.LanguageCollection.List[2].text, " 1031 ");
    EXPECT_EQ(c.LanguageCollection.List[3].text, "");
    EXPECT_EQ(c.LanguageCollection.List[3].object->Item, "Nameless");
    EXPECT_EQ(c.LanguageCollection.List[1].object->List.size(), 2u);
}

TEST(Languages, SetLanguageArrayAppliesSlotRules) {
    tConfigData c = Parse(std::string("[config]\nusercan_changelanguage=true\n") + kLanguages);
    TLanguageArray texts;
    texts[7] = "kept";
    c.SetLanguageArray(1033, texts);
    EXPECT_EQ(c.LangNum, 1033);
    EXPECT_EQ(c.LangName, "English");
    EXPECT_EQ(texts[0], "into zero?") << "a non-numeric slot stores into slot 0, later lines win";
    EXPECT_EQ(texts[1], "Unpacking ");
    EXPECT_EQ(texts[2], "second two");
    EXPECT_EQ(texts[7], "kept") << "an empty text leaves the slot";
    EXPECT_EQ(texts[24], "trailing");
    EXPECT_EQ(texts[25], "");
    EXPECT_EQ(texts[100], "");

    c.SetLanguageArray(1049, texts);
    EXPECT_EQ(texts[0], "http://news/ru");
    EXPECT_EQ(texts[3], "three");
    EXPECT_EQ(texts[1], "Unpacking ") << "slots the language does not name keep their text";

    c.SetLanguageArray(1031, texts);
    EXPECT_EQ(c.LangName, "English") << "an id written with blanks never matches; the first language applies";
}

TEST(Languages, DefaultLanguageRulesWhenTheUserMayNotChoose) {
    tConfigData c = Parse(std::string("[config]\ndefaultlanguage= russian \n") + kLanguages);
    TLanguageArray texts;
    c.SetLanguageArray(1033, texts);
    EXPECT_EQ(c.LangName, "Russian");
    EXPECT_EQ(c.GetLanguageIdByName("  RUSSIAN "), 1049);
    EXPECT_EQ(c.GetLanguageIdByName("Klingon"), 1033) << "unknown names give the first language's id";
    EXPECT_EQ(c.GetLanguageIdByName("Nameless"), 1033) << "a language whose id reads 0 gives the first id";

    tConfigData none = Parse("[config]\ninstance=x\n");
    TLanguageArray untouched;
    none.SetLanguageArray(1033, untouched);
    EXPECT_EQ(none.LangName, "");
    EXPECT_EQ(untouched[0], "");
    EXPECT_EQ(none.GetLanguageIdByName("English"), 0);
}
