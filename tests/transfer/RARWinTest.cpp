// The launcher's own path on Windows: unrar.dll carried as the resource "UNRARDLL" of this
// very program, mapped from memory by the PE loader and run for real. The archives were
// made at build time by make-rar-fixtures.sh, beside the test's working folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/ImageServices.hpp"
#include "platform/Resources.hpp"
#include "platform/Text.hpp"
#include "transfer/BTMemoryModule.hpp"
#include "transfer/RAR.hpp"

using namespace tarvos;
namespace fs = std::filesystem;

namespace {

const fs::path kFixtures = "rar-fixtures";

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Fixture(const char* name) { return (kFixtures / name).string(); }

class RARWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        out_ = fs::path("rar-out") / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(out_);
        fs::create_directories(out_);
    }
    std::string Out() const { return out_.string(); }
    fs::path out_;
    TRAR rar_;
};

TEST_F(RARWinTest, LibraryComesFromTheOwnResource) {
    const std::uint32_t dllVersion = rar_.GetDllVersion();
    EXPECT_GE(dllVersion, TRAR::kMinDllVersion);
    EXPECT_TRUE(rar_.isDLLLoaded());
    // A second, private copy of the image: loaded, used and released, which runs its TLS
    // callbacks and entry point with detach as well.
    auto image = OwnResources().RawData("UNRARDLL");
    ASSERT_FALSE(image.empty());
    auto module = BTMemoryLoadLibary(image, BT_PROTECT_SECTIONS, true, SystemVirtualMemory(), SystemModules());
    ASSERT_TRUE(module) << BTMemoryLastError();
    using Version = int(__stdcall*)();
    auto version = reinterpret_cast<Version>(BTMemoryGetProcAddress(module.get(), "RARGetDllVersion"));
    ASSERT_TRUE(version);
    EXPECT_EQ(static_cast<std::uint32_t>(version()), dllVersion);
    EXPECT_EQ(BTMemoryGetProcAddress(module.get(), "rargetdllversion"), 0u);
    module.reset();
}

TEST_F(RARWinTest, FlatExtractionOfEntriesUnderFolders) {
    ASSERT_TRUE(rar_.OpenFile(Fixture("folders.rar")));
    EXPECT_EQ(rar_.ArchiveInformation().TotalFiles, 2);
    ASSERT_TRUE(rar_.Extract(Out(), false, nullptr));
    EXPECT_EQ(ReadAll(out_ / "world.map"), "the world");
    EXPECT_EQ(ReadAll(out_ / "top.txt"), "top");
    EXPECT_FALSE(fs::exists(out_ / "data"));
    ASSERT_TRUE(rar_.Extract(Out(), true, nullptr));
    EXPECT_EQ(ReadAll(out_ / "data" / "maps" / "world.map"), "the world");
}

TEST_F(RARWinTest, SolidLargeAndDamagedArchives) {
    ASSERT_TRUE(rar_.OpenFile(Fixture("solid.rar")));
    EXPECT_TRUE(rar_.ArchiveInformation().Solid);
    ASSERT_TRUE(rar_.Extract(Out(), false, nullptr));
    for (const char* f : {"f0.txt", "f1.txt", "f2.txt", "f3.txt", "f4.txt"})
        EXPECT_TRUE(ReadAll(out_ / f) == ReadAll(kFixtures / "src" / f)) << f;

    ASSERT_TRUE(rar_.OpenFile(Fixture("large.rar")));
    EXPECT_GT(rar_.ArchiveInformation().DictionarySize, 4 << 20);
    ASSERT_TRUE(rar_.Extract(Out(), false, nullptr));
    EXPECT_TRUE(ReadAll(out_ / "large.bin") == ReadAll(kFixtures / "src" / "large.bin"));

    ASSERT_TRUE(rar_.OpenFile(Fixture("damaged.rar")));
    EXPECT_FALSE(rar_.Test());
}

// The library ends an aborted extraction by throwing inside its own code; that must unwind
// through the memory-mapped image, whose unwind tables the loader registered.
TEST_F(RARWinTest, AbortUnwindsThroughTheMappedLibrary) {
    ASSERT_TRUE(rar_.OpenFile(Fixture("large.rar")));
    int calls = 0;
    rar_.OnProcess = [&](const TRARProgressInfo&) {
        ++calls;
        rar_.Abort();
    };
    EXPECT_FALSE(rar_.Extract(Out(), false, nullptr));
    EXPECT_EQ(calls, 1);
    rar_.OnProcess = nullptr;
    EXPECT_TRUE(rar_.Extract(Out(), false, nullptr));
    EXPECT_TRUE(ReadAll(out_ / "large.bin") == ReadAll(kFixtures / "src" / "large.bin"));
}

TEST_F(RARWinTest, FailuresLeaveNothingBehind) {
    EXPECT_FALSE(rar_.OpenFile(Fixture("plain.txt")));
    ASSERT_TRUE(rar_.OpenFile(Fixture("encrypted.rar")));
    EXPECT_FALSE(rar_.Extract(Out(), false, nullptr));
    EXPECT_FALSE(fs::exists(out_ / "f0.txt") && ReadAll(out_ / "f0.txt") == ReadAll(kFixtures / "src" / "f0.txt"));
}

// The library reads destination names in the OEM code page, archive names in the ANSI one.
TEST_F(RARWinTest, NamesOutsideAscii) {
    const fs::path dest = out_ / PathFromUtf8("Spiel Ordner \u00e4");
    fs::create_directories(dest);
    ASSERT_TRUE(rar_.OpenFile(Fixture("names.rar")));
    ASSERT_TRUE(rar_.Extract(PathToUtf8(dest), false, nullptr));
    EXPECT_EQ(ReadAll(dest / PathFromUtf8("Gr\u00fc\u00dfe.txt")), "hello");
    const fs::path archive = out_ / PathFromUtf8("Pr\u00fcfung.rar");
    fs::copy_file(kFixtures / "t2.rar", archive);
    EXPECT_TRUE(rar_.OpenFile(PathToUtf8(archive)));
}

TEST_F(RARWinTest, UnRarFileIntoCurrentFolder) {
    const std::string archive = fs::absolute(Fixture("t2.rar")).string();
    const std::string missing = fs::absolute(Fixture("missing.ta2")).string();
    std::ofstream(out_ / "t2.ini") << "old";
    const fs::path before = fs::current_path();
    fs::current_path(out_);
    UnRarFile(archive, ".");
    UnRarFile(missing, ".");
    fs::current_path(before);
    EXPECT_EQ(ReadAll(out_ / "t2.ini"), "[settings]");
    EXPECT_EQ(std::distance(fs::directory_iterator(out_), fs::directory_iterator()), 1);
}

}  // namespace
