#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "platform/Error.hpp"
#include "platform/FileStream.hpp"
#include "platform/MemoryStream.hpp"
#include "platform/Text.hpp"

using namespace tarvos;

TEST(MemoryStream, ReadsWritesAndSeeksLikeAFile) {
    MemoryStream s(std::string("abcdef"));
    char buf[8] = {};
    s.Seek(4, SeekOrigin::Begin);
    EXPECT_EQ(s.Read(buf, 8), 2u);
    EXPECT_EQ(std::string(buf, 2), "ef");
    EXPECT_EQ(s.Read(buf, 8), 0u);
    s.Seek(-3, SeekOrigin::End);
    s.WriteBuffer("XYZW", 4);  // overwrites and grows
    EXPECT_EQ(s.ToString(), "abcXYZW");
    s.Seek(9, SeekOrigin::Begin);  // a write past the end leaves zeros in the gap
    s.WriteBuffer("!", 1);
    EXPECT_EQ(s.ToString(), std::string("abcXYZW\0\0!", 10));
    EXPECT_THROW(s.Seek(-11, SeekOrigin::Current), TarvosError);
    EXPECT_THROW(s.ReadBuffer(buf, 1), TarvosError);
}

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("tarvos-stream-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir_);
        file_ = PathToUtf8(dir_ / "f.bin");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
    std::string file_;
};

TEST_F(FileStreamTest, CreatesReadsAndSeeks) {
    {
        FileStream out(file_, FileMode::Create);
        out.WriteBuffer("hello world", 11);
        EXPECT_EQ(out.Size(), 11);
        EXPECT_EQ(out.Position(), 11);
    }
    FileStream in(file_, FileMode::OpenReadShareDenyWrite);
    char buf[16] = {};
    in.Seek(6, SeekOrigin::Begin);
    EXPECT_EQ(in.Read(buf, 16), 5u);
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_EQ(in.Position(), 11);
    EXPECT_EQ(in.Seek(-5, SeekOrigin::End), 6);
}

TEST_F(FileStreamTest, ReportsFilesThatCannotBeOpened) {
    std::string missing = PathToUtf8(dir_ / "missing.bin");
    try {
        FileStream in(missing, FileMode::OpenRead);
        FAIL();
    } catch (const TarvosError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
    }
    EXPECT_THROW(FileStream(PathToUtf8(dir_ / "no" / "dir.bin"), FileMode::Create), TarvosError);
}

#ifdef _WIN32
// Windows enforces sharing: a reader that denies writing cannot join a writer, and an
// exclusive opener cannot join anybody.
TEST_F(FileStreamTest, HonoursShareModes) {
    FileStream writer(file_, FileMode::Create);
    EXPECT_THROW(FileStream(file_, FileMode::OpenReadShareDenyWrite), TarvosError);
    EXPECT_THROW(FileStream(file_, FileMode::OpenReadWriteExclusive), TarvosError);
    FileStream reader(file_, FileMode::OpenRead);
}
#endif
