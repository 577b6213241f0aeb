#include <bzlib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/Error.hpp"
#include "platform/FileStream.hpp"
#include "platform/Text.hpp"
#include "transfer/UpdaterDecompress.hpp"

using namespace tarvos;

namespace {

// A list-like text large enough to span several 100 kB bzip2 blocks.
std::string SampleList(size_t lines) {
    std::mt19937 rng(7);
    std::string text;
    for (size_t i = 0; i < lines; ++i) {
        text += "\\Data\\file" + std::to_string(i) + ".dat|" + std::to_string(rng()) + "|" +
                std::to_string(rng() % 100000) + "\r\n";
    }
    return text;
}

// The reference bzip2 encoder (the library behind the bzip2 program) at a given block size.
std::string Bzip2(const std::string& data, int blockSize) {
    std::string out(data.size() + data.size() / 100 + 600, '\0');
    auto outLen = static_cast<unsigned>(out.size());
    int rc = BZ2_bzBuffToBuffCompress(out.data(), &outLen, const_cast<char*>(data.data()),
                                      static_cast<unsigned>(data.size()), blockSize, 0, 0);
    if (rc != BZ_OK) throw std::runtime_error("bzip2 failed");
    out.resize(outLen);
    return out;
}

std::string Decompress(const std::string& packed) {
    MemoryStream src(packed), dst;
    BZDecompressStream(src, dst);
    return dst.ToString();
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const TarvosError& e) {
        return e.what();
    }
    return "no error";
}

class BZDecompressFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tarvos-packing-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return PathToUtf8(dir_ / name); }
    void Put(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    std::string Get(const std::string& name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
    std::filesystem::path dir_;
};

}  // namespace

TEST(XorStream, XorsEachByteWithTheKeyByteOfItsPosition) {
    MemoryStream s(std::string("\x10\x20\x30\x40\x50\x60\x70", 7));
    XorStream(s, "\x01\x02\x04");
    EXPECT_EQ(s.ToString(), std::string("\x11\x22\x34\x41\x52\x64\x71", 7));
    EXPECT_EQ(s.Position(), 7);
    XorStream(s, "\x01\x02\x04");
    EXPECT_EQ(s.ToString(), std::string("\x10\x20\x30\x40\x50\x60\x70", 7));

    MemoryStream empty;
    XorStream(empty, "k");
    EXPECT_EQ(empty.Size(), 0);
}

TEST(XorStream, AcceptsKeysOfOneToTwoHundredBytesOnly) {
    std::string data = SampleList(20);
    MemoryStream s(data);
    std::string longest(200, '\x5A');
    longest[199] = '\x33';
    XorStream(s, longest);
    EXPECT_EQ(static_cast<uint8_t>(s.Bytes()[199]), static_cast<uint8_t>(data[199] ^ 0x33));
    EXPECT_EQ(static_cast<uint8_t>(s.Bytes()[399]), static_cast<uint8_t>(data[399] ^ 0x33));
    EXPECT_EQ(static_cast<uint8_t>(s.Bytes()[200]), static_cast<uint8_t>(data[200] ^ 0x5A));

    MemoryStream t(data);
    EXPECT_THROW(XorStream(t, ""), TarvosError);
    EXPECT_THROW(XorStream(t, std::string(201, 'k')), TarvosError);
    EXPECT_EQ(t.ToString(), data);  // a refused key leaves the data alone
}

TEST(BZDecompressStream, RestoresStreamsOfEveryBlockSize) {
    std::string list = SampleList(12000);
    ASSERT_GT(list.size(), 300000u);
    EXPECT_EQ(Decompress(Bzip2(list, 1)), list);
    EXPECT_EQ(Decompress(Bzip2(list, 9)), list);
    EXPECT_EQ(Decompress(Bzip2("x", 9)), "x");
}

TEST(BZDecompressStream, ReadsFromAndAppendsAtTheCurrentPositions) {
    MemoryStream src("junk" + Bzip2("payload", 9));
    src.Seek(4, SeekOrigin::Begin);
    MemoryStream dst(std::string("head"));
    dst.Seek(0, SeekOrigin::End);
    BZDecompressStream(src, dst);
    EXPECT_EQ(dst.ToString(), "headpayload");

    // A scrambled container: XOR first, then decompress, as the local containers are read.
    MemoryStream scrambled(Bzip2("settings", 9));
    XorStream(scrambled, "key");
    XorStream(scrambled, "key");
    scrambled.Seek(0, SeekOrigin::Begin);
    MemoryStream plain;
    BZDecompressStream(scrambled, plain);
    EXPECT_EQ(plain.ToString(), "settings");
}

TEST(BZDecompressStream, InputEndingEarlyGivesAShorterOutputWithoutError) {
    std::string list = SampleList(12000);
    std::string packed = Bzip2(list, 1);
    std::string out = Decompress(packed.substr(0, packed.size() / 2));
    EXPECT_GT(out.size(), 0u);
    EXPECT_LT(out.size(), list.size());
    EXPECT_EQ(out, list.substr(0, out.size()));
    EXPECT_EQ(Decompress(packed.substr(0, 3)), "");
}

TEST(BZDecompressStream, ReportsLibraryFailuresByCode) {
    std::string packed = Bzip2(SampleList(500), 9);
    std::string corrupt = packed;
    corrupt[packed.size() / 2] ^= 0x55;
    EXPECT_EQ(ErrorOf([&] { Decompress(corrupt); }), "error -4");
    EXPECT_EQ(ErrorOf([&] { Decompress("PK\x03\x04 not bzip2 at all"); }), "error -5");
    EXPECT_EQ(ErrorOf([&] { Decompress(packed + "trailing"); }), "error -1");
    EXPECT_EQ(Decompress(""), "");
}

TEST_F(BZDecompressFileTest, IgnoresTheFirstFiveBytes) {
    std::string list = SampleList(12000);
    for (int blockSize : {1, 9}) {
        std::string packed = Bzip2(list, blockSize);
        for (std::string head : {std::string(5, '\0'), std::string("\xDE\xAD\xBE\xEF\x42"), std::string("BZh91")}) {
            SCOPED_TRACE(blockSize);
            Put("$tmp.ta2", head + packed.substr(5));
            BZDecompressFile(Path("$tmp.ta2"), Path("updater.lst"));
            EXPECT_EQ(Get("updater.lst"), list);
            // The head is mended in the stored file itself.
            EXPECT_EQ(Get("$tmp.ta2").substr(0, 5), "BZh91");
        }
    }
}

TEST_F(BZDecompressFileTest, SkipsAMissingPackedFile) {
    Put("updater.lst", "old list");
    BZDecompressFile(Path("missing.ta2"), Path("updater.lst"));
    EXPECT_EQ(Get("updater.lst"), "old list");
    BZDecompressFile(Path("missing.ta2"), Path("new.lst"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "new.lst"));
}

TEST_F(BZDecompressFileTest, ReplacesTheOutputAndKeepsWhatDecodedBeforeAFailure) {
    std::string list = SampleList(12000);
    std::string packed = Bzip2(list, 1);
    Put("updater.lst", std::string(list.size() * 2, 'z'));
    Put("cut.ta2", packed.substr(0, packed.size() / 2));
    BZDecompressFile(Path("cut.ta2"), Path("updater.lst"));
    std::string out = Get("updater.lst");
    EXPECT_LT(out.size(), list.size());
    EXPECT_EQ(out, list.substr(0, out.size()));

    std::string corrupt = packed;
    corrupt[packed.size() - 1000] ^= 0x55;
    Put("bad.ta2", corrupt);
    EXPECT_EQ(ErrorOf([&] { BZDecompressFile(Path("bad.ta2"), Path("updater.lst")); }), "error -4");
    EXPECT_TRUE(std::filesystem::exists(dir_ / "updater.lst"));
}

#ifdef _WIN32
TEST_F(BZDecompressFileTest, NeedsThePackedFileForItself) {
    Put("$tmp.ta2", Bzip2("list", 9));
    FileStream holder(Path("$tmp.ta2"), FileMode::OpenRead);
    EXPECT_EQ(ErrorOf([&] { BZDecompressFile(Path("$tmp.ta2"), Path("updater.lst")); }),
              "Cannot open file " + Path("$tmp.ta2"));
}
#endif

// The writer's output is what the reference encoder makes, with the head replaced; a list
// spanning several blocks pushes it through more than one round of output.
TEST_F(BZDecompressFileTest, TheWriterMakesWhatTheReaderTakesAndRefusesAnEmptyList) {
    const std::string list = SampleList(60000);
    Put("updater.lst", list);
    BZCompressFile(Path("updater.lst"), Path("updater.lst.ta2"));
    EXPECT_EQ(Get("updater.lst.ta2"), "TARVO" + Bzip2(list, 9).substr(5));

    Put("empty.lst", "");
    EXPECT_EQ(ErrorOf([&] { BZCompressFile(Path("empty.lst"), Path("empty.ta2")); }),
              "Cannot pack the empty file " + Path("empty.lst"));
}
