#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/Text.hpp"

using namespace tarvos;

TEST(Text, DecodesByByteOrderMarkOrAnsi) {
    EXPECT_EQ(DecodeText("\xEF\xBB\xBF" "abc"), "abc");
    EXPECT_EQ(DecodeText(std::string("\xFF\xFE" "a\0\xE9\0", 6)), "a\xC3\xA9");
    EXPECT_EQ(DecodeText(std::string("\xFE\xFF\0a\0\xE9", 6)), "a\xC3\xA9");
    EXPECT_EQ(DecodeText("plain"), "plain");
    // A surrogate pair survives the trip through UTF-16.
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("\xF0\x9F\x98\x80")), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80").size(), 2u);
}

TEST(Text, SplitsAtEveryLineEnd) {
    auto lines = SplitLines("a\r\nb\nc\rd\r\n\r\ne");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], "c");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "e");
    EXPECT_TRUE(SplitLines("").empty());
    EXPECT_EQ(SplitLines("x\r\n").size(), 1u);
}

TEST(Text, WritesAnsiWithCrLfAndReadsItBack) {
    auto dir = std::filesystem::temp_directory_path() / "tarvos-text-test";
    std::filesystem::create_directories(dir);
    std::string file = PathToUtf8(dir / "t.txt");
    WriteTextLines(file, {"one", "", "two"});
    {
        std::ifstream in(PathFromUtf8(file), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(bytes, "one\r\n\r\ntwo\r\n");
    }
    EXPECT_EQ(ReadTextLines(file), (std::vector<std::string>{"one", "", "two"}));
    std::filesystem::remove_all(dir);
    EXPECT_THROW(ReadTextLines(file), std::runtime_error);
}

TEST(Text, TrimsAndLowerCases) {
    EXPECT_EQ(TrimText(" \t\\System\\T2.INI \r\n"), "\\System\\T2.INI");
    EXPECT_EQ(LowerUser("\\System\\T2.INI"), "\\system\\t2.ini");
}
