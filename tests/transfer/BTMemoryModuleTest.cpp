#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>

#include "transfer/BTMemoryModule.hpp"
#include "transfer/PeTestServices.hpp"
#include "transfer/SyntheticImage.hpp"

using namespace tarvos;
using namespace tarvos::testing;

namespace {

const char* const kRarFunctions[] = {"RAROpenArchive", "RAROpenArchiveEx", "RARCloseArchive", "RARReadHeader",
                                     "RARReadHeaderEx", "RARProcessFile", "RARSetCallback", "RARSetChangeVolProc",
                                     "RARSetProcessDataProc", "RARSetPassword", "RARGetDllVersion"};

std::vector<std::uint8_t> ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint64_t Value(const std::uint8_t* p, unsigned width) {
    std::uint64_t v = 0;
    std::memcpy(&v, p, width);
    return v;
}

std::uintptr_t Base(const PBTMemoryModule& m) { return reinterpret_cast<std::uintptr_t>(m->CodeBase()); }

// The address of an export as the file's own tables give it, found without the loader:
// every address is turned into a file offset through the section that holds it.
std::uint32_t ExportRvaInFile(const std::vector<std::uint8_t>& file, const std::string& name) {
    const std::uint8_t* p = file.data();
    const std::uint64_t nt = Value(p + 0x3C, 4), optional = nt + 24;
    const std::uint64_t sections = optional + Value(p + nt + 20, 2), count = Value(p + nt + 6, 2);
    auto at = [&](std::uint64_t rva) {
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint8_t* s = p + sections + 40 * i;
            const std::uint64_t va = Value(s + 12, 4);
            if (rva >= va && rva < va + Value(s + 16, 4)) return p + Value(s + 20, 4) + (rva - va);
        }
        throw std::runtime_error("address outside every section");
    };
    const std::uint8_t* dir = at(Value(p + optional + (Value(p + optional, 2) == 0x20B ? 112 : 96), 4));
    for (std::uint64_t i = 0; i < Value(dir + 24, 4); ++i) {
        if (name != reinterpret_cast<const char*>(at(Value(at(Value(dir + 32, 4)) + 4 * i, 4)))) continue;
        const std::uint64_t index = Value(at(Value(dir + 36, 4)) + 2 * i, 2);
        return static_cast<std::uint32_t>(Value(at(Value(dir + 28, 4)) + 4 * index, 4));
    }
    throw std::runtime_error("no export " + name);
}

// Counts the pointer-sized values in which two mappings of one image differ by exactly the
// distance between them; fails on any other difference.
int CountRelocatedValues(const TBTMemoryModule& a, const TBTMemoryModule& b, unsigned width) {
    const std::uint8_t* pa = a.CodeBase();
    const std::uint8_t* pb = b.CodeBase();
    const std::uint64_t delta = reinterpret_cast<std::uintptr_t>(pb) - reinterpret_cast<std::uintptr_t>(pa);
    const std::uint64_t mask = width == 8 ? ~std::uint64_t{0} : 0xFFFFFFFFu;
    int count = 0;
    for (std::size_t i = 0; i < a.ImageSize(); ++i) {
        if (pa[i] == pb[i]) continue;
        bool explained = false;
        for (std::size_t j = i >= width - 1 ? i - (width - 1) : 0; j <= i && !explained; ++j) {
            if (j + width > a.ImageSize() || std::memcmp(pa + j, pb + j, i - j) != 0) continue;
            const std::uint64_t va = Value(pa + j, width), vb = Value(pb + j, width);
            if (((va + delta) & mask) != vb) continue;
            EXPECT_LT((va - reinterpret_cast<std::uintptr_t>(pa)) & mask, a.ImageSize()) << "at " << j;
            explained = true;
            i = j + width - 1;
            ++count;
        }
        if (!explained) {
            ADD_FAILURE() << "unexplained difference at offset " << i;
            return count;
        }
    }
    return count;
}

class RealDllTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        image_ = ReadFile(GetParam());
        ASSERT_GT(image_.size(), 4096u) << "missing " << GetParam() << " (scripts/build-win-deps)";
    }
    PBTMemoryModule Load(bool callEntry = false) {
        return BTMemoryLoadLibary(image_, BT_PROTECT_SECTIONS, callEntry, memory_, modules_);
    }
    std::vector<std::uint8_t> image_;
    MappedMemory memory_;
    FakeModules modules_;
};

TEST_P(RealDllTest, MapsRelocatedAndFindsEveryExport) {
    auto a = Load();
    ASSERT_TRUE(a) << BTMemoryLastError();
    auto b = Load();
    ASSERT_TRUE(b) << BTMemoryLastError();
    const unsigned width = a->Is64() ? 8 : 4;
    // Both mappings are away from the preferred base and were fixed up consistently.
    EXPECT_GT(CountRelocatedValues(*a, *b, width), 300);
    const std::uint32_t nt = static_cast<std::uint32_t>(Value(a->CodeBase() + 0x3C, 4));
    EXPECT_EQ(Value(a->CodeBase() + nt + 24 + (a->Is64() ? 24 : 28), width), Base(a));
    for (const char* name : kRarFunctions) {
        std::uintptr_t f = BTMemoryGetProcAddress(a.get(), name);
        EXPECT_GT(f, Base(a)) << name;
        EXPECT_LT(f, Base(a) + a->ImageSize()) << name;
    }
    EXPECT_FALSE(memory_.protections.empty());
}

TEST_P(RealDllTest, ResolvesImportsIntoTheImage) {
    auto m = Load();
    ASSERT_TRUE(m) << BTMemoryLastError();
    EXPECT_NE(std::find(modules_.loaded.begin(), modules_.loaded.end(), "KERNEL32.dll"), modules_.loaded.end());
    EXPECT_TRUE(modules_.resolved.count("KERNEL32.dll!CreateFileW"));
    ASSERT_GT(modules_.resolved.size(), 50u);
    // Every resolved address was written into an import slot of the image.
    const unsigned width = m->Is64() ? 8 : 4;
    std::set<std::uint64_t> values;
    for (std::size_t i = 0; i + width <= m->ImageSize(); i += width) values.insert(Value(m->CodeBase() + i, width));
    for (const auto& [name, address] : modules_.resolved) EXPECT_TRUE(values.count(address)) << name;
}

TEST_P(RealDllTest, UnknownNamesAndCaseDifferencesAreNotFound) {
    auto m = Load();
    ASSERT_TRUE(m);
    EXPECT_EQ(BTMemoryGetProcAddress(m.get(), "RARExtractEverything"), 0u);
    EXPECT_EQ(BTMemoryLastError(), "BTMemoryGetProcAddress: exported symbol not found");
    EXPECT_EQ(BTMemoryGetProcAddress(m.get(), "raropenarchiveex"), 0u);
    EXPECT_EQ(BTMemoryGetProcAddress(m.get(), "RAROpenArchiveEX"), 0u);
    EXPECT_EQ(BTMemoryGetProcAddress(m.get(), "RAROpenArchive"),
              Base(m) + ExportRvaInFile(image_, "RAROpenArchive"));
    EXPECT_EQ(BTMemoryGetProcAddress(m.get(), std::string_view("RAROpenArchive\0x", 16)), 0u);
}

TEST_P(RealDllTest, RunsTlsCallbacksAndEntryOnAttachAndDetach) {
    auto m = Load(true);
    ASSERT_TRUE(m) << BTMemoryLastError();
    const std::uintptr_t base = Base(m), end = base + m->ImageSize();
    const auto attach = modules_.initCalls;
    ASSERT_GE(attach.size(), 2u) << "the library has TLS callbacks and an entry point";
    for (std::size_t i = 0; i < attach.size(); ++i) {
        EXPECT_EQ(attach[i].reason, 1u);
        EXPECT_EQ(attach[i].base, base);
        EXPECT_TRUE(attach[i].routine > base && attach[i].routine < end);
        EXPECT_EQ(attach[i].isEntryPoint, i + 1 == attach.size()) << "callbacks come before the entry point";
    }
    m.reset();
    ASSERT_EQ(modules_.initCalls.size(), 2 * attach.size());
    for (std::size_t i = 0; i < attach.size(); ++i) {
        const InitCall& detach = modules_.initCalls[attach.size() + i];
        EXPECT_EQ(detach.reason, 0u);
        EXPECT_EQ(detach.routine, attach[i].routine);
    }
    EXPECT_EQ(modules_.freed, static_cast<int>(modules_.loaded.size()));
    EXPECT_EQ(memory_.releases, memory_.reservations);
    EXPECT_EQ(modules_.functionTables, 0);
}

TEST_P(RealDllTest, RefusingEntryPointFailsAndReleasesEverything) {
    modules_.entryResult = false;
    EXPECT_FALSE(Load(true));
    EXPECT_EQ(BTMemoryLastError(), "BTMemoryLoadLibary: Can't attach library");
    EXPECT_EQ(modules_.freed, static_cast<int>(modules_.loaded.size()));
    EXPECT_EQ(memory_.releases, memory_.reservations);
}

TEST_P(RealDllTest, MissingLibraryIsNamedAndNothingLeaks) {
    modules_.missingLibraries = {"POWRPROF.dll"};
    EXPECT_FALSE(Load());
    EXPECT_EQ(BTMemoryLastError(),
              "BuildImportTable: can't load library: POWRPROF.dll BTMemoryLoadLibary: BuildImportTable failed");
    EXPECT_GT(modules_.loaded.size(), 0u);
    EXPECT_EQ(modules_.freed, static_cast<int>(modules_.loaded.size()));
    EXPECT_EQ(memory_.releases, memory_.reservations);

    modules_.missingLibraries.clear();
    modules_.missingFunctions = {"CreateFileW"};
    EXPECT_FALSE(Load());
    EXPECT_EQ(BTMemoryLastError(), "BuildImportTable: GetProcAddress failed BTMemoryLoadLibary: BuildImportTable failed");
}

TEST_P(RealDllTest, DamagedHeadersAreRefused) {
    auto damaged = image_;
    damaged[0] = 'X';
    EXPECT_FALSE(BTMemoryLoadLibary(damaged, 0, false, memory_, modules_));
    EXPECT_EQ(BTMemoryLastError(), "BTMemoryLoadLibary: dll dos header is not valid");
    damaged = image_;
    damaged[Value(&image_[0x3C], 4) + 1] = 'X';
    EXPECT_FALSE(BTMemoryLoadLibary(damaged, 0, false, memory_, modules_));
    EXPECT_EQ(BTMemoryLastError(), "BTMemoryLoadLibary: IMAGE_NT_SIGNATURE is not valid");
    // Every truncation fails cleanly (no access beyond the given bytes).
    for (std::size_t n = 0; n < image_.size(); n += n < 1024 ? 1 : 4093) {
        std::vector<std::uint8_t> part(image_.begin(), image_.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(BTMemoryLoadLibary(part, 0, false, memory_, modules_)) << n;
        EXPECT_FALSE(BTMemoryLastError().empty());
    }
    EXPECT_EQ(memory_.releases, memory_.reservations);
}

INSTANTIATE_TEST_SUITE_P(UnrarDll, RealDllTest, ::testing::Values(TARVOS_UNRAR_DLL_I686, TARVOS_UNRAR_DLL_X86_64));

class SyntheticImageTest : public ::testing::Test {
protected:
    PBTMemoryModule Load() { return BTMemoryLoadLibary(image_.bytes, BT_PROTECT_SECTIONS, true, memory_, modules_); }
    void ExpectRefused(const std::string& error) {
        EXPECT_FALSE(Load());
        EXPECT_EQ(BTMemoryLastError(), error);
        EXPECT_EQ(memory_.releases, memory_.reservations);
        EXPECT_EQ(modules_.freed, static_cast<int>(modules_.loaded.size()));
    }
    SyntheticImage image_;
    MappedMemory memory_;
    FakeModules modules_;
};

TEST_F(SyntheticImageTest, ImportsByOrdinalAndNameRelocatesAndExports) {
    auto m = Load();
    ASSERT_TRUE(m) << BTMemoryLastError();
    const std::uint8_t* base = m->CodeBase();
    EXPECT_EQ(Value(base + SyntheticImage::R(SyntheticImage::kIat), 4), modules_.resolved.at("lib.dll#7"));
    EXPECT_EQ(Value(base + SyntheticImage::R(SyntheticImage::kIat) + 4, 4), modules_.resolved.at("lib.dll!NamedFn"));
    const std::uintptr_t pointer = Base(m) + SyntheticImage::R(SyntheticImage::kPointer);
    EXPECT_EQ(Value(base + SyntheticImage::R(SyntheticImage::kPointer), 4), pointer & 0xFFFFFFFFu);
    EXPECT_EQ(BTMemoryGetProcAddress(m.get(), "Alpha"), pointer);
    EXPECT_EQ(BTMemoryGetProcAddress(m.get(), "Fwd"), 0u);
    EXPECT_EQ(BTMemoryLastError(), "BTMemoryGetProcAddress: exported symbol is forwarded");
    ASSERT_EQ(memory_.protections.size(), 1u);
    EXPECT_EQ(memory_.protections[0], PageProtection::ReadWrite);
}

TEST_F(SyntheticImageTest, RefusedProtectionLeavesTheImageUsable) {
    memory_.protectResult = false;
    auto m = Load();
    ASSERT_TRUE(m);
    EXPECT_EQ(BTMemoryLastError(), "FinalizeSections: VirtualProtect failed");
    EXPECT_NE(BTMemoryGetProcAddress(m.get(), "Alpha"), 0u);
}

TEST_F(SyntheticImageTest, AtPreferredBaseNothingIsRelocated) {
    memory_.grantPreferred = true;
    auto m = Load();
    if (!m || Base(m) != SyntheticImage::kPreferredBase) GTEST_SKIP() << "preferred base not available here";
    EXPECT_EQ(Value(m->CodeBase() + SyntheticImage::R(SyntheticImage::kPointer), 4),
              SyntheticImage::kPreferredBase + SyntheticImage::R(SyntheticImage::kPointer));
}

TEST_F(SyntheticImageTest, ExportTableProblems) {
    image_.Put32(SyntheticImage::F(SyntheticImage::kExports) + 0x40, 5);  // ordinal index 5 of 2
    auto m = Load();
    ASSERT_TRUE(m);
    EXPECT_EQ(BTMemoryGetProcAddress(m.get(), "Alpha"), 0u);
    EXPECT_EQ(BTMemoryLastError(), "BTMemoryGetProcAddress: name <-> ordinal number don't match");
    image_.Put32(SyntheticImage::F(SyntheticImage::kExports) + 24, 0);
    m = Load();
    EXPECT_EQ(BTMemoryGetProcAddress(m.get(), "Alpha"), 0u);
    EXPECT_EQ(BTMemoryLastError(), "BTMemoryGetProcAddress: DLL doesn't export anything");
    image_.Directory(0, 0, 0);
    m = Load();
    EXPECT_EQ(BTMemoryGetProcAddress(m.get(), "Alpha"), 0u);
    EXPECT_EQ(BTMemoryLastError(), "BTMemoryGetProcAddress: no export table found");
    image_.Directory(0, 0x1FF0, 0x60);  // runs past the end of the image
    m = Load();
    EXPECT_EQ(BTMemoryGetProcAddress(m.get(), "Alpha"), 0u);
    EXPECT_EQ(BTMemoryLastError(), "BTMemoryGetProcAddress: export table is not valid");
}

// The test memory faults on reads of pages that are decommitted or forbid reading, so
// each of these crashes unless the loader refuses to look there.
TEST_F(SyntheticImageTest, NothingIsReadWhereThePagesForbidIt) {
    const auto seed = ReadFile(TARVOS_PELOADER_SEEDS "/tls-table-in-decommitted-section.bin");
    ASSERT_FALSE(seed.empty());
    EXPECT_FALSE(
        BTMemoryLoadLibary(seed, BT_PROTECT_SECTIONS | BT_DECOMMIT_DISCARDABLE, true, memory_, modules_));
    EXPECT_EQ(BTMemoryLastError(), "BTMemoryLoadLibary: TLS directory is not valid");
    EXPECT_EQ(memory_.releases, memory_.reservations);

    constexpr std::uint32_t kHidden = 0x2000, kExecuteOnly = 0x20000000, kTls = 0x1C0;
    const std::uint32_t exports = SyntheticImage::F(SyntheticImage::kExports);
    for (std::uint32_t table : {exports + 28, exports + 32, exports + 36}) {  // addresses, names, ordinals
        image_ = SyntheticImage();
        image_.AddSection(kHidden, 0x1000, kExecuteOnly);
        image_.Put32(table, kHidden);
        auto m = Load();
        ASSERT_TRUE(m) << BTMemoryLastError();
        EXPECT_EQ(BTMemoryGetProcAddress(m.get(), "Alpha"), 0u);
        EXPECT_EQ(BTMemoryLastError(), "BTMemoryGetProcAddress: export table is not valid");
    }

    image_ = SyntheticImage();
    image_.AddSection(kHidden, 0x1000, kExecuteOnly);
    image_.Directory(9, kHidden, 24);  // the TLS directory there
    ExpectRefused("BTMemoryLoadLibary: TLS directory is not valid");
    image_.Directory(9, SyntheticImage::R(kTls), 24);
    // Its callback table there.
    image_.Put32(SyntheticImage::F(kTls) + 12, SyntheticImage::kPreferredBase + kHidden);
    image_.Put16(SyntheticImage::F(SyntheticImage::kRelocs) + 10, 0x3000 | (kTls + 12));
    ExpectRefused("BTMemoryLoadLibary: TLS directory is not valid");
    // The same table in readable memory is read; its callback must lie in code.
    image_.Put32(SyntheticImage::F(kTls) + 12,
                 SyntheticImage::kPreferredBase + SyntheticImage::R(kTls + 0x20));
    image_.Put32(SyntheticImage::F(kTls + 0x20), SyntheticImage::kPreferredBase + SyntheticImage::R(kTls));
    image_.Put16(SyntheticImage::F(SyntheticImage::kRelocs) + 12, 0x3000 | (kTls + 0x20));
    image_.Put32(SyntheticImage::F(SyntheticImage::kRelocs) + 4, 16);
    image_.Directory(5, SyntheticImage::R(SyntheticImage::kRelocs), 16);
    ExpectRefused("BTMemoryLoadLibary: TLS directory is not valid");
    image_.Put32(SyntheticImage::F(kTls + 0x20), SyntheticImage::kPreferredBase + kHidden);
    auto m = Load();
    ASSERT_TRUE(m) << BTMemoryLastError();
    ASSERT_EQ(modules_.initCalls.size(), 1u);
    EXPECT_EQ(modules_.initCalls[0].routine, Base(m) + kHidden);
    m.reset();

    image_ = SyntheticImage();
    // An entry point in data, not code.
    image_.Put32(SyntheticImage::kOptional + 16, SyntheticImage::R(SyntheticImage::kPointer));
    ExpectRefused("BTMemoryLoadLibary: Get DLLEntyPoint failed");
}

TEST_F(SyntheticImageTest, MalformedTablesAreRefusedWithoutStrayAccess) {
    const std::uint32_t relocBlockSize = SyntheticImage::F(SyntheticImage::kRelocs) + 4;
    image_.Put32(relocBlockSize, 0);  // would never advance
    ExpectRefused("PerformBaseRelocation: relocation table is not valid");
    image_.Put32(relocBlockSize, 12);
    image_.Put32(SyntheticImage::F(SyntheticImage::kRelocs), 0x1FFF);  // patches past the image end
    ExpectRefused("PerformBaseRelocation: relocation table is not valid");
    image_ = SyntheticImage();
    image_.Directory(5, 0, 0);
    ExpectRefused("PerformBaseRelocation: the dll cannot be relocated");

    image_ = SyntheticImage();
    image_.Put32(SyntheticImage::F(SyntheticImage::kImports) + 12, 0x7FFFFFF0);  // library name
    ExpectRefused("BuildImportTable: import table is not valid BTMemoryLoadLibary: BuildImportTable failed");
    image_ = SyntheticImage();
    image_.Put32(SyntheticImage::F(SyntheticImage::kLookup) + 4, 0x1FFE);  // name at the very end
    ExpectRefused("BuildImportTable: import table is not valid BTMemoryLoadLibary: BuildImportTable failed");

    image_ = SyntheticImage();
    image_.Put32(SyntheticImage::kSectionTable + 20, 0x390);  // raw data beyond the file
    ExpectRefused("BTMemoryLoadLibary: section data is outside the image");
    image_ = SyntheticImage();
    image_.Put32(SyntheticImage::kSectionTable + 12, 0x1F00);  // section beyond the image size
    ExpectRefused("BTMemoryLoadLibary: dll headers are not valid");
    image_ = SyntheticImage();
    image_.Put32(SyntheticImage::kOptional + 56, 0xFFFFF000);  // absurd image size
    ExpectRefused("BTMemoryLoadLibary: dll headers are not valid");
    image_ = SyntheticImage();
    image_.Put16(SyntheticImage::kNtOffset + 4, 0x1C0);  // ARM
    ExpectRefused("BTMemoryLoadLibary: dll is not for this machine");
    image_ = SyntheticImage();
    image_.Put32(SyntheticImage::kOptional + 16, 0x2000);  // entry point outside
    ExpectRefused("BTMemoryLoadLibary: Get DLLEntyPoint failed");
    image_ = SyntheticImage();
    memory_.maxSize = 0;
    ExpectRefused("BTMemoryLoadLibary: VirtualAlloc failed");
}

}  // namespace
