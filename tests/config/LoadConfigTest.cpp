#include <gtest/gtest.h>

#include <cstring>

#include "Injector.hpp"
#include "config/ConfigKey.hpp"
#include "config/TempFolder.hpp"
#include "config/uConfigData.hpp"
#include "startup/tDebugFile.hpp"

using namespace tarvos;
using namespace tarvos::pack;
using namespace tarvos::testing;

namespace {

const std::string kTry = "  try load config";
std::string SizeLine(long long n) { return "  read config from memory.. config size: " + std::to_string(n); }

Bytes SlotWithLength(std::int32_t length, std::uint8_t fill = 0x5A) {
    Bytes slot(kBlankSlotSize, fill);
    PutInt32Into(slot, length);
    return slot;
}

struct Loaded {
    std::vector<std::string> log;
    Bytes stream;
};

Loaded Load(std::span<const std::uint8_t> slot, bool debug, Bytes initial = {}) {
    tDebugFile log("log.err");
    log.enabled = debug;
    tConfigData config;
    config.debug_file = &log;
    MemoryStream stream(initial);
    stream.Seek(0, SeekOrigin::End);
    config.LoadConfig(stream, MemoryResources("blank", slot));
    return {log.ts, stream.Bytes()};
}

const Bytes kPackage = [] {
    Bytes p;
    for (int i = 0; i < 5000; ++i) p.push_back(static_cast<std::uint8_t>(i * 31 % 251));
    return p;
}();

}  // namespace

TEST(LoadConfig, KeyIsTheConstantWithItsHalvesSwapped) {
    auto key = ConfigKey();
    EXPECT_EQ(std::string(key.begin(), key.end()), "7x@Lp4&Wr8Tv#9kQ2!mZ");
    // The slot holds a bzip2 stream scrambled with that key.
    Bytes packed = PackForSlot(kPackage);
    for (size_t i = 0; i < 4; ++i) packed[i] ^= key[i];
    EXPECT_EQ(std::string(packed.begin(), packed.begin() + 4), "BZh9");
}

TEST(LoadConfig, UnpacksTheSlotAndLogsExactly) {
    TempFolder cwd("tarvos-loadconfig");
    Bytes packed = PackForSlot(kPackage);
    Bytes slot = SlotBytes(packed);
    std::fill(slot.begin() + 4 + static_cast<long>(packed.size()), slot.end(), 0xEE);  // never read
    Loaded r = Load(slot, true, {'x'});
    EXPECT_EQ(r.log, (std::vector<std::string>{kTry, SizeLine(static_cast<long long>(packed.size()))}));
    ASSERT_EQ(r.stream.size(), kPackage.size() + 1) << "appended at the stream's position";
    EXPECT_TRUE(std::equal(kPackage.begin(), kPackage.end(), r.stream.begin() + 1));
    EXPECT_EQ(FileText("log.err"), kTry + "\r\n" + SizeLine(static_cast<long long>(packed.size())) + "\r\n");
    EXPECT_EQ(FileText("config.pack"), std::string(packed.begin(), packed.end())) << "still scrambled";
}

TEST(LoadConfig, WithoutTheLogNothingIsWritten) {
    TempFolder cwd("tarvos-loadconfig");
    Loaded r = Load(SlotBytes(PackForSlot(kPackage)), false);
    EXPECT_EQ(r.stream, kPackage);
    EXPECT_TRUE(r.log.empty());
    EXPECT_FALSE(std::filesystem::exists("config.pack"));
    EXPECT_FALSE(std::filesystem::exists("log.err"));
}

TEST(LoadConfig, LengthWordRange) {
    TempFolder cwd("tarvos-loadconfig");
    Loaded zero = Load(SlotWithLength(0), true);
    EXPECT_EQ(zero.log.back(), SizeLine(0));
    EXPECT_TRUE(zero.stream.empty()) << "nothing to decompress";

    // The largest length is accepted (its bytes are copied out), though these are no bzip2.
    Loaded largest = Load(SlotWithLength(kMaxPackedConfig), true, {'k'});
    EXPECT_EQ(largest.log.back(), SizeLine(1536000));
    EXPECT_EQ(std::filesystem::file_size("config.pack"), 1536000u);
    EXPECT_EQ(largest.stream, Bytes{'k'}) << "a failed decompression leaves the stream unchanged";
    std::filesystem::remove("config.pack");

    for (std::int32_t refused : {kMaxPackedConfig + 1, -1}) {
        Loaded r = Load(SlotWithLength(refused), true);
        EXPECT_EQ(r.log, (std::vector<std::string>{kTry, SizeLine(refused)})) << "logged, then refused";
        EXPECT_FALSE(std::filesystem::exists("config.pack"));
        EXPECT_TRUE(r.stream.empty());
    }
}

TEST(LoadConfig, MissingOrShortDataIsQuiet) {
    TempFolder cwd("tarvos-loadconfig");
    EXPECT_EQ(Load({}, true).log, std::vector<std::string>{kTry});
    Bytes three = {1, 0, 0};
    EXPECT_EQ(Load(three, true).log, std::vector<std::string>{kTry});
    // A length word promising more than the resource holds.
    Bytes shortSlot = {10, 0, 0, 0, 1, 2, 3};
    Loaded r = Load(shortSlot, true, {'s'});
    EXPECT_EQ(r.log.size(), 2u);
    EXPECT_EQ(r.stream, Bytes{'s'});
    EXPECT_FALSE(std::filesystem::exists("config.pack"));
    // Another resource name is not the configuration.
    tConfigData config;
    MemoryStream stream;
    Bytes slot = SlotBytes(PackForSlot(kPackage));
    config.LoadConfig(stream, MemoryResources("other", slot));
    EXPECT_EQ(stream.Size(), 0);
    config.LoadConfig(stream, MemoryResources("BLANK", slot));
    EXPECT_EQ(stream.Size(), static_cast<std::int64_t>(kPackage.size())) << "resource names ignore letter case";
}

TEST(LoadConfig, UnwritableDiagnosticCopyDoesNotStopLoading) {
    TempFolder cwd("tarvos-loadconfig");
    std::filesystem::create_directory("config.pack");
    Loaded r = Load(SlotBytes(PackForSlot(kPackage)), true, {});
    EXPECT_EQ(r.stream, kPackage);
}

TEST(LoadConfig, CorruptPackedBytesLeaveTheStreamUnchanged) {
    TempFolder cwd("tarvos-loadconfig");
    Bytes packed = PackForSlot(kPackage);
    packed[packed.size() / 2] ^= 0xFF;
    Loaded r = Load(SlotBytes(packed), false, {'c'});
    EXPECT_EQ(r.stream, Bytes{'c'});
}
