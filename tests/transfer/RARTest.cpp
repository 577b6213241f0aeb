// TRAR and UnRarFile over the system's UnRAR library, with archives made by the rar program.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "support/RarPatch.hpp"
#include "transfer/RAR.hpp"

using namespace tarvos;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& p, const std::string& data) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << data;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; i += 8) {
        const std::uint64_t v = rng();
        std::memcpy(&s[i], &v, std::min<std::size_t>(8, n - i));
    }
    return s;
}

std::string Text(std::size_t n) {
    std::string s;
    for (int line = 0; s.size() < n; ++line) s += "line " + std::to_string(line) + " of the game data text\r\n";
    s.resize(n);
    return s;
}

class RARTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tarvos-rar-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "src");
        fs::create_directories(dir_ / "out");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs rar in the source folder, so stored names are relative to it.
    std::string Rar(const std::string& options, const std::string& what) {
        const std::string archive = (dir_ / "a.rar").string();
        const std::string cmd =
            "cd '" + (dir_ / "src").string() + "' && rar a -idq " + options + " '" + archive + "' " + what + " >/dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return archive;
    }
    std::string Out() const { return (dir_ / "out").string(); }

    fs::path dir_;
    TRAR rar_;
};

TEST_F(RARTest, FlatExtractionWritesBareNamesAndNoFolders) {
    WriteAll(dir_ / "src/data/maps/world.map", "the world");
    WriteAll(dir_ / "src/data/top.txt", "top");
    const std::string archive = Rar("-r", "data");
    ASSERT_TRUE(rar_.OpenFile(archive));
    const auto& info = rar_.ArchiveInformation();
    EXPECT_TRUE(info.Opened);
    EXPECT_EQ(info.TotalFiles, 2);  // the two folder entries are not counted
    EXPECT_EQ(info.UnCompressedSize, 12);
    EXPECT_EQ(info.HostOS, "Unix");
    EXPECT_EQ(info.ArchiverMajorVersion, 5);
    EXPECT_FALSE(info.Encryption);
    EXPECT_FALSE(info.Solid);

    ASSERT_TRUE(rar_.Extract(Out(), false, nullptr));  // no trailing separator given
    EXPECT_EQ(ReadAll(dir_ / "out/world.map"), "the world");
    EXPECT_EQ(ReadAll(dir_ / "out/top.txt"), "top");
    EXPECT_FALSE(fs::exists(dir_ / "out/data"));
    EXPECT_FALSE(fs::exists(dir_ / "out/maps"));
}

TEST_F(RARTest, RestoringFoldersAndChoosingEntries) {
    WriteAll(dir_ / "src/data/maps/world.map", "the world");
    WriteAll(dir_ / "src/data/top.txt", "top");
    const std::string archive = Rar("-r", "data");
    ASSERT_TRUE(rar_.OpenFile(archive));
    const std::vector<std::string> files = {"data/maps/world.map"};
    ASSERT_TRUE(rar_.Extract(Out() + "\\", true, &files));
    EXPECT_EQ(ReadAll(dir_ / "out/data/maps/world.map"), "the world");
    EXPECT_FALSE(fs::exists(dir_ / "out/data/top.txt"));
    EXPECT_TRUE(rar_.Test());
}

TEST_F(RARTest, ExistingFileIsOverwrittenUnlessTheHandlerSkipsIt) {
    WriteAll(dir_ / "src/game.dat", "new contents");
    const std::string archive = Rar("", "game.dat");
    WriteAll(dir_ / "out/game.dat", "old contents that were longer");
    ASSERT_TRUE(rar_.OpenFile(archive));
    ASSERT_TRUE(rar_.Extract(Out(), false, nullptr));
    EXPECT_EQ(ReadAll(dir_ / "out/game.dat"), "new contents");

    WriteAll(dir_ / "out/game.dat", "kept");
    int asked = 0;
    rar_.OnReplace = [&](const TRARReplaceData& existing, const TRARReplaceData& incoming) {
        ++asked;
        EXPECT_EQ(incoming.Size, 12);
        EXPECT_NE(existing.FileName.find("game.dat"), std::string::npos);
        return TRARReplace::rrSkip;
    };
    EXPECT_TRUE(rar_.Extract(Out(), false, nullptr));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ReadAll(dir_ / "out/game.dat"), "kept");
    rar_.OnReplace = [](const TRARReplaceData&, const TRARReplaceData&) { return TRARReplace::rrCancel; };
    EXPECT_FALSE(rar_.Extract(Out(), false, nullptr));
    EXPECT_EQ(ReadAll(dir_ / "out/game.dat"), "kept");
}

TEST_F(RARTest, EncryptedArchiveFailsWithoutPasswordAndWorksWithOne) {
    WriteAll(dir_ / "src/secret.txt", Text(5000));
    const std::string archive = Rar("-psecret", "secret.txt");
    std::vector<int> errors;
    rar_.OnError = [&](int code) { errors.push_back(code); };
    ASSERT_TRUE(rar_.OpenFile(archive));
    EXPECT_TRUE(rar_.ArchiveInformation().Encryption);
    EXPECT_FALSE(rar_.Extract(Out(), false, nullptr));
    EXPECT_FALSE(fs::exists(dir_ / "out/secret.txt") && ReadAll(dir_ / "out/secret.txt") == Text(5000));
    ASSERT_FALSE(errors.empty());

    rar_.OnPasswordRequired = [](bool header, std::string& password) {
        EXPECT_FALSE(header);
        password = "secret";
        return true;
    };
    EXPECT_TRUE(rar_.Extract(Out(), false, nullptr));
    EXPECT_EQ(ReadAll(dir_ / "out/secret.txt"), Text(5000));
}

TEST_F(RARTest, EncryptedHeadersNeedThePasswordToOpen) {
    WriteAll(dir_ / "src/secret.txt", "hidden");
    const std::string archive = Rar("-hpsecret", "secret.txt");
    EXPECT_FALSE(rar_.OpenFile(archive));
    rar_.Password = "secret";
    ASSERT_TRUE(rar_.OpenFile(archive));
    EXPECT_TRUE(rar_.ArchiveInformation().HeaderEncrypted);
    EXPECT_TRUE(rar_.Extract(Out(), false, nullptr));
    EXPECT_EQ(ReadAll(dir_ / "out/secret.txt"), "hidden");
}

TEST_F(RARTest, NotAnArchiveAndDamagedArchive) {
    WriteAll(dir_ / "plain.txt", Text(4000));
    EXPECT_FALSE(rar_.OpenFile((dir_ / "plain.txt").string()));
    EXPECT_TRUE(fs::is_empty(dir_ / "out"));

    WriteAll(dir_ / "src/big.bin", RandomBytes(200000, 1));
    const std::string archive = Rar("-m0", "big.bin");
    std::string bytes = ReadAll(archive);
    bytes[bytes.size() / 2] ^= 0x55;
    WriteAll(archive, bytes);
    ASSERT_TRUE(rar_.OpenFile(archive));
    EXPECT_FALSE(rar_.Test());
    EXPECT_FALSE(rar_.Extract(Out(), false, nullptr));
}

TEST_F(RARTest, SolidArchiveWithProgress) {
    for (int i = 0; i < 5; ++i) WriteAll(dir_ / ("src/f" + std::to_string(i) + ".txt"), Text(30000 + i));
    const std::string archive = Rar("-s", "f0.txt f1.txt f2.txt f3.txt f4.txt");
    ASSERT_TRUE(rar_.OpenFile(archive));
    EXPECT_TRUE(rar_.ArchiveInformation().Solid);
    EXPECT_EQ(rar_.ArchiveInformation().TotalFiles, 5);
    std::int64_t reported = 0;
    rar_.OnProcess = [&](const TRARProgressInfo& p) { reported = p.TotalSize; };
    // Only the last entry is wanted; a solid archive still decodes those before it.
    const std::vector<std::string> last = {"f4.txt"};
    ASSERT_TRUE(rar_.Extract(Out(), false, &last));
    EXPECT_EQ(ReadAll(dir_ / "out/f4.txt"), Text(30004));
    EXPECT_FALSE(fs::exists(dir_ / "out/f0.txt"));
    EXPECT_GT(reported, 0);
    ASSERT_TRUE(rar_.Extract(Out(), false, nullptr));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(ReadAll(dir_ / ("out/f" + std::to_string(i) + ".txt")), Text(30000 + i));
}

TEST_F(RARTest, LargeFileWithLargeDictionary) {
    const std::string data = RandomBytes(24 << 20, 2) + Text(24 << 20);
    WriteAll(dir_ / "src/large.bin", data);
    const std::string archive = Rar("-md256m -m1", "large.bin");
    ASSERT_TRUE(rar_.OpenFile(archive));
    EXPECT_EQ(rar_.ArchiveInformation().UnCompressedSize, static_cast<std::int64_t>(data.size()));
    EXPECT_GT(rar_.ArchiveInformation().DictionarySize, 4 << 20);
    ASSERT_TRUE(rar_.Extract(Out(), false, nullptr));
    EXPECT_TRUE(ReadAll(dir_ / "out/large.bin") == data);
}

TEST_F(RARTest, AbortFromProgressStopsExtraction) {
    WriteAll(dir_ / "src/big.txt", Text(3 << 20));
    const std::string archive = Rar("", "big.txt");
    ASSERT_TRUE(rar_.OpenFile(archive));
    rar_.OnProcess = [&](const TRARProgressInfo&) { rar_.Abort(); };
    EXPECT_FALSE(rar_.Extract(Out(), false, nullptr));
    rar_.OnProcess = [](const TRARProgressInfo&) { throw std::runtime_error("handler failed"); };
    EXPECT_FALSE(rar_.Extract(Out(), false, nullptr));  // contained, not thrown through the library
    rar_.OnProcess = nullptr;
    EXPECT_TRUE(rar_.Extract(Out(), false, nullptr));
    EXPECT_GE(rar_.GetDllVersion(), TRAR::kMinDllVersion);
}

// An entry named to climb out of the target ("../evil.txt") is passed over in both extraction
// modes; the entries beside it are extracted.
TEST_F(RARTest, EntriesLeavingTheTargetAreSkipped) {
    WriteAll(dir_ / "src/zz_evil.txt", "escaping");
    WriteAll(dir_ / "src/fine.txt", "fine");
    std::string bytes = ReadAll(Rar("-ep", "zz_evil.txt fine.txt"));
    ASSERT_TRUE(tarvos::test::RenameRar5Entry(bytes, "zz_evil.txt", "../evil.txt"));
    WriteAll(dir_ / "a.rar", bytes);
    fs::create_directories(dir_ / "out/deep");
    for (bool restore : {false, true}) {
        ASSERT_TRUE(rar_.OpenFile((dir_ / "a.rar").string()));
        rar_.Extract((dir_ / "out/deep").string(), restore, nullptr);
        EXPECT_EQ(ReadAll(dir_ / "out/deep/fine.txt"), "fine");
        EXPECT_FALSE(fs::exists(dir_ / "out/evil.txt"));
        EXPECT_FALSE(fs::exists(dir_ / "out/deep/evil.txt"));
    }
}

TEST_F(RARTest, UnRarFileIntoCurrentFolderAndMissingArchive) {
    WriteAll(dir_ / "src/sub/t2.ini", "[settings]");
    const std::string archive = Rar("", "sub/t2.ini");
    const fs::path before = fs::current_path();
    fs::current_path(dir_ / "out");
    WriteAll(dir_ / "out/t2.ini", "old");
    UnRarFile(archive, ".");
    UnRarFile((dir_ / "missing.ta2").string(), ".");
    fs::current_path(before);
    EXPECT_EQ(ReadAll(dir_ / "out/t2.ini"), "[settings]");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 1);
}

}  // namespace

namespace {

TEST_F(RARTest, NamesOutsideAscii) {
    WriteAll(dir_ / "src/Grüße.txt", "hello");
    const std::string archive = Rar("", "Grüße.txt");
    fs::create_directories(dir_ / "out/Spiel Ordner ä");
    ASSERT_TRUE(rar_.OpenFile(archive));
    ASSERT_TRUE(rar_.Extract((dir_ / "out/Spiel Ordner ä").string(), false, nullptr));
    EXPECT_EQ(ReadAll(dir_ / "out/Spiel Ordner ä/Grüße.txt"), "hello");
}

}  // namespace
