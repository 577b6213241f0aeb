#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "inventory/CustomMD5.hpp"
#include "platform/Error.hpp"
#include "platform/FileStream.hpp"
#include "platform/MemoryStream.hpp"
#include "platform/Text.hpp"

using namespace tarvos;

namespace {
std::string Md5Of(std::string_view bytes) {
    TMD5 md5;
    md5.AddBuffer(bytes.data(), bytes.size());
    return md5.DigestStr();
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}
}  // namespace

TEST(TCustomMD5, MatchesTheReferenceDigests) {
    EXPECT_EQ(Md5Of(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(Md5Of("a"), "0CC175B9C0F1B6A831C399E269772661");
    EXPECT_EQ(Md5Of("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(Md5Of("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(Md5Of("abcdefghijklmnopqrstuvwxyz"), "C3FCD3D76192E4007DFB496CCA67E13B");
    EXPECT_EQ(Md5Of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "D174AB98D277D9F5A5611C2C9F419D9F");
    std::string digits;
    for (int i = 0; i < 8; ++i) digits += "1234567890";
    EXPECT_EQ(Md5Of(digits), "57EDF4A22BE3C955AC49DA2E2107B67A");
    EXPECT_EQ(Md5Of(std::string(1000000, 'a')), "7707D6AE4E027C70EEA2A935C2296F21");
}

TEST(TCustomMD5, GivesTheSameDigestForAnySplitOfTheInput) {
    std::mt19937 rng(3);
    for (size_t len : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u}) {
        std::string data = RandomBytes(len, static_cast<unsigned>(len));
        std::string whole = Md5Of(data);
        TMD5 md5;
        for (size_t pos = 0; pos < len;) {
            size_t n = std::min<size_t>(rng() % 70, len - pos);
            md5.AddBuffer(data.data() + pos, n);
            pos += n;
        }
        EXPECT_EQ(md5.DigestStr(), whole) << len;
    }
}

TEST(TCustomMD5, ReadingTheDigestDoesNotEndTheMessage) {
    TMD5 md5;
    md5.AddBuffer("ab", 2);
    EXPECT_EQ(md5.DigestStr(), Md5Of("ab"));
    EXPECT_EQ(md5.DigestStr(), Md5Of("ab"));
    md5.AddBuffer("c", 1);
    EXPECT_EQ(md5.DigestStr(), "900150983CD24FB0D6963F7D28E17F72");
    const auto& bytes = md5.Digest();
    EXPECT_EQ(bytes[0], 0x90);
    EXPECT_EQ(bytes[15], 0x72);
    EXPECT_EQ(md5.DigestLongWord()[0], 0x98500190u);  // bytes 0..3 as a little-endian word
    md5.Reset();
    EXPECT_EQ(md5.DigestStr(), "D41D8CD98F00B204E9800998ECF8427E");
}

TEST(TMD5, FeedsTypedValuesLittleEndian) {
    TMD5 text, raw;
    text.Add(std::string_view("abc"));
    raw.AddBuffer("a\0b\0c\0", 6);
    EXPECT_EQ(text.DigestStr(), raw.DigestStr());

    TMD5 typed;
    typed.Add(u'\u0444');
    typed.Add(uint8_t{0x7F});
    typed.Add(uint16_t{0x1234});
    typed.Add(int32_t{-2});
    typed.Add(uint32_t{0xA1B2C3D4});
    EXPECT_EQ(typed.DigestStr(), Md5Of(std::string("\x44\x04\x7F\x34\x12\xFE\xFF\xFF\xFF\xD4\xC3\xB2\xA1", 13)));

    // Text beyond ASCII goes in as UTF-16 code units, a surrogate pair as two of them.
    TMD5 utf16;
    utf16.Add(std::string_view("\xC3\xA4\xF0\x9F\x98\x80"));
    EXPECT_EQ(utf16.DigestStr(), Md5Of(std::string("\xE4\x00\x3D\xD8\x00\xDE", 6)));

    TMD5 lines, joined;
    lines.Add(std::vector<std::string>{"ab", "", "c"});
    joined.Add("abc");
    EXPECT_EQ(lines.DigestStr(), joined.DigestStr());
}

class MD5FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("tarvos-md5-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Put(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return PathToUtf8(dir_ / name);
    }
    std::filesystem::path dir_;
};

TEST_F(MD5FileTest, DigestsWholeFilesOfEveryLength) {
    EXPECT_EQ(FileMD5(Put("empty", "")), "D41D8CD98F00B204E9800998ECF8427E");
    for (size_t len : {8191u, 8192u, 8193u, 3 * 8192u, 100000u}) {
        std::string data = RandomBytes(len, static_cast<unsigned>(len));
        EXPECT_EQ(FileMD5(Put("f" + std::to_string(len), data)), Md5Of(data)) << len;
    }
}

TEST_F(MD5FileTest, ReportsAFileThatCannotBeOpened) {
    std::string missing = PathToUtf8(dir_ / "missing.bin");
    try {
        FileMD5(missing);
        FAIL();
    } catch (const TarvosError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
    }
}

TEST_F(MD5FileTest, AddStreamDigestsTheTailAndKeepsThePosition) {
    std::string data = RandomBytes(20000, 9);
    MemoryStream s(data);
    s.Seek(12345, SeekOrigin::Begin);
    TMD5 md5;
    md5.AddStream(s);
    EXPECT_EQ(md5.DigestStr(), Md5Of(std::string_view(data).substr(12345)));
    EXPECT_EQ(s.Position(), 12345);

    FileStream f(Put("stream.bin", data), FileMode::OpenRead);
    f.Seek(8192, SeekOrigin::Begin);
    TMD5 fromFile;
    fromFile.AddStream(f);
    EXPECT_EQ(fromFile.DigestStr(), Md5Of(std::string_view(data).substr(8192)));
    EXPECT_EQ(f.Position(), 8192);
}

#ifdef _WIN32
// Windows enforces share-deny-write: a file being written by someone else is not hashed.
// (Linux has no mandatory share modes; there the file is simply read.)
TEST_F(MD5FileTest, RefusesAFileHeldOpenForWriting) {
    std::string file = Put("busy.bin", "data");
    {
        // The writer lets others read: only a digest that denies writers is refused.
        FileStream writer(file, FileMode::Create);
        EXPECT_THROW(FileMD5(file), TarvosError);
    }
    Put("busy.bin", "data");
    FileStream reader(file, FileMode::OpenRead);
    EXPECT_EQ(FileMD5(file), Md5Of("data"));
}
#endif
