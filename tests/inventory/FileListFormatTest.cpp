#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>

#include "inventory/uClasses.hpp"
#include "platform/DateTime.hpp"
#include "platform/Error.hpp"
#include "platform/Text.hpp"

using namespace tarvos;

namespace {
const std::string kHash = "0123456789ABCDEF0123456789ABCDEF";

TFileRecord Only(const std::vector<std::string>& lines) {
    TFileList list(false);
    list.LoadFromStrings(lines);
    EXPECT_EQ(list.Count(), 1);
    return list.Count() ? list.GetItemByID(0)->Content : TFileRecord{};
}
}  // namespace

TEST(FileListFormat, ReadsTheFiveFields) {
    EXPECT_EQ(Only({kHash + "|\\system\\t2.ini|3000000000|40E4821000000000|FEDC|extra|fields"}),
              (TFileRecord{"\\system\\t2.ini", kHash, "FEDC", 3000000000LL, 42000.5}));
    // Missing trailing fields are empty.
    EXPECT_EQ(Only({kHash + "|\\a.txt"}), (TFileRecord{"\\a.txt", kHash, "", 0, 0}));
    EXPECT_EQ(Only({"|\\a.txt||"}), (TFileRecord{"\\a.txt", "", "", 0, 0}));
}

TEST(FileListFormat, ReadsUnreadableNumbersAsZero) {
    EXPECT_EQ(Only({"h|n|12abc"}).Size, 0);
    EXPECT_EQ(Only({"h|n|99999999999999999999"}).Size, 0);
    EXPECT_EQ(Only({"h|n|-42"}).Size, -42);
    EXPECT_EQ(Only({"h|n|+42"}).Size, 42);
    EXPECT_EQ(Only({"h|n|0x10"}).Size, 0);
    EXPECT_EQ(Only({"h|n|1|0000000000000000"}).Date, 0.0);
    EXPECT_EQ(Only({"h|n|1|"}).Date, 0.0);
    EXPECT_EQ(Only({"h|n|1|XYZ"}).Date, 0.0);
    EXPECT_EQ(Only({"h|n|1|40e4821000000000"}).Date, 42000.5);
    EXPECT_EQ(Only({"h|n|1|0x40E4821000000000"}).Date, 0.0);
    EXPECT_EQ(Only({"h|n|1|140E4821000000000"}).Date, 0.0);  // more than 64 bits
}

TEST(FileListFormat, ReadsRegionalDatesAndSurvivesBadOnes) {
    std::string good = FormatDateTime(42000.5);
    ASSERT_NE(good.find(' '), std::string::npos);
    TFileList list(true);
    list.LoadFromStrings({"h|\\a|1|" + good + "|p", "h|\\b|2|not a date|p", "h|\\c|3|40E4821000000000|p"});
    ASSERT_EQ(list.Count(), 3);  // a bad date does not stop the loading
    EXPECT_EQ(list.GetItemByName("\\a")->Content.Date, 42000.5);
    EXPECT_EQ(list.GetItemByName("\\b")->Content.Date, 0.0);
    EXPECT_EQ(list.GetItemByName("\\c")->Content.Date, 42000.5);
}

TEST(FileListFormat, SkipsLinesWithoutAnySeparator) {
    TFileList list(false);
    list.LoadFromStrings({"", "h1|\\a", "   ", "# section", "\\loose\\name", "h2|\\b"});
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetItemByID(1)->Content.Hash, "h2");
}

TEST(FileListFormat, LoadingASortedListKeepsTheFirstOfEqualNames) {
    TFileList list(true);
    list.AddItemEmpty("\\gone");  // loading starts from an empty list
    list.LoadFromStrings({"h1|\\Dup|1", "x|\\other|2", "h2|\\dup |3", "h3|\\DUP|4"});
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetItemByName("\\dup")->Content, (TFileRecord{"\\Dup", "h1", "", 1, 0}));
    EXPECT_EQ(list.GetId("\\gone"), -1);
}

TEST(FileListFormat, WritesWhatItReadsBitForBit) {
    TFileList list(false);
    std::mt19937_64 rng(5);
    std::vector<double> dates = {0.0, 42000.5, -1.25, -0.0, std::numeric_limits<double>::denorm_min(),
                                 std::numeric_limits<double>::quiet_NaN(), std::bit_cast<double>(rng())};
    for (size_t i = 0; i < dates.size(); ++i) {
        list.AddItemSimple("\\f" + std::to_string(i), kHash, i % 2 ? "" : std::string(kEmptyDigest),
                           i % 3 ? -static_cast<int64_t>(rng() >> 2) : static_cast<int64_t>(rng() >> 1), dates[i]);
    }
    std::vector<std::string> lines{"stale"};
    list.SaveToStrings(&lines);
    ASSERT_EQ(lines.size(), dates.size());
    EXPECT_EQ(lines[1].substr(lines[1].size() - 18, 18), "|40E4821000000000|");
    TFileList back(false);
    back.LoadFromStrings(lines);
    ASSERT_EQ(back.Count(), list.Count());
    for (int32_t i = 0; i < list.Count(); ++i) {
        const TFileRecord& a = list.GetItemByID(i)->Content;
        const TFileRecord& b = back.GetItemByID(i)->Content;
        EXPECT_EQ(std::tie(a.Name, a.Hash, a.HashPacked, a.Size), std::tie(b.Name, b.Hash, b.HashPacked, b.Size));
        EXPECT_EQ(std::bit_cast<uint64_t>(a.Date), std::bit_cast<uint64_t>(b.Date));
    }
    list.SaveToStrings(nullptr);  // no target: nothing happens
}

class FileListFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("tarvos-list-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir_);
        file_ = PathToUtf8(dir_ / "OldList.lst");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    void Put(const std::string& bytes) { std::ofstream(dir_ / "OldList.lst", std::ios::binary) << bytes; }
    std::string Get() {
        std::ifstream in(dir_ / "OldList.lst", std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
    std::filesystem::path dir_;
    std::string file_;
};

TEST_F(FileListFileTest, SavesWithCrLfAndLoadsItBack) {
    TFileList list(true);
    list.AddItemSimple("\\b.txt", kHash, "P", 5, 42000.5);
    list.AddItemSimple("\\a.txt", kHash, "", 0, 0);
    list.SaveToFile(file_);
    EXPECT_EQ(Get(), kHash + "|\\a.txt|0|0000000000000000|\r\n" + kHash + "|\\b.txt|5|40E4821000000000|P\r\n");
    TFileList back(true);
    back.LoadFromFile(file_);
    EXPECT_EQ(back.GetItemByName("\\B.TXT")->Content, list.GetItemByName("\\b.txt")->Content);
}

TEST_F(FileListFileTest, ReadsUnicodeFilesByTheirByteOrderMark) {
    std::u16string line = u"h|\\Spiel\u00E4\\\u0444\u0430\u0439\u043B.txt|7";
    std::string le = "\xFF\xFE";
    for (char16_t u : line + u"\r\n") le += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    Put(le);
    TFileList list(true);
    list.LoadFromFile(file_);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.GetItemByID(0)->Content.Name, "\\Spiel\xC3\xA4\\\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt");
    // Lower-casing follows the user locale beyond ASCII where the platform can.
    EXPECT_EQ(list.GetId("\\SPIEL\xC3\xA4\\\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.TXT"), 0);

    Put("\xEF\xBB\xBFh|\\utf8\xC3\xA4|1\nh|\\second|2\r");
    list.LoadFromFile(file_);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetItemByID(1)->Content.Name, "\\utf8\xC3\xA4");
}

TEST_F(FileListFileTest, LoadingAMissingFileFails) {
    TFileList list(true);
    EXPECT_THROW(list.LoadFromFile(PathToUtf8(dir_ / "missing.lst")), TarvosError);
}
