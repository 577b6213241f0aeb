#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "inventory/uClasses.hpp"
#include "platform/Terminate.hpp"

using namespace tarvos;

namespace {
std::vector<std::string> NamesOf(const TFileList& list) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < list.Count(); ++i) names.push_back(list.GetItemByID(i)->Content.Name);
    return names;
}

void AddNamed(TFileList& list, const std::string& name, const std::string& hash = "H") {
    list.AddItemSimple(name, hash, "P", 1, 2);
}
}  // namespace

TEST(TFileList, SortedKeysIgnoreLetterCaseAndSurroundingBlanks) {
    TFileList list(true);
    AddNamed(list, "\\system\\t2.ini", "first");
    AddNamed(list, " \\System\\T2.INI\t", "second");
    ASSERT_EQ(list.Count(), 1);
    TFileItem* item = list.GetItemByName("\\SYSTEM\\t2.ini ");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->Content.Hash, "first");
    EXPECT_EQ(item->Content.Name, "\\system\\t2.ini");  // kept as first written
    EXPECT_EQ(list.GetKey(0), "\\system\\t2.ini");
    EXPECT_EQ(list.GetId("\\system\\t2.inx"), -1);
    EXPECT_EQ(list.GetItemByName("\\nothing"), nullptr);
    // Letters beyond ASCII fold the same on every platform, whatever the locale.
    AddNamed(list, "\\Spiel\xC3\x84\\\xD0\x96.txt", "umlaut");
    EXPECT_EQ(list.GetId("\\spiel\xC3\xA4\\\xD0\xB6.TXT"), list.GetId("\\SPIEL\xC3\x84\\\xD0\x96.txt"));
    EXPECT_NE(list.GetId("\\spiel\xC3\xA4\\\xD0\xB6.TXT"), -1);
}

TEST(TFileList, SortedModeKeepsKeyOrderWhateverTheOrderOfAdding) {
    TFileList list(true);
    for (const char* n : {"\\c.txt", "\\A.txt", "\\b.txt", "\\a.TXT", "\\d\\x", "\\B.txt"}) AddNamed(list, n);
    EXPECT_EQ(NamesOf(list), (std::vector<std::string>{"\\A.txt", "\\b.txt", "\\c.txt", "\\d\\x"}));
    list.AddItemEmpty("\\0.dat");
    EXPECT_EQ(list.GetId("\\0.DAT"), 0);
    const TFileRecord& r = list.GetItemByID(0)->Content;
    EXPECT_EQ(r, (TFileRecord{"\\0.dat", std::string(kEmptyDigest), std::string(kEmptyDigest), 0, 0}));
}

TEST(TFileList, UnsortedModeKeepsOrderAndDuplicates) {
    TFileList list(false);
    AddNamed(list, "\\z", "1");
    AddNamed(list, "\\y", "2");
    AddNamed(list, "\\Z", "3");
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.GetId("\\z"), 0);  // the first of equal keys
    EXPECT_EQ(NamesOf(list), (std::vector<std::string>{"\\z", "\\y", "\\Z"}));
    list.SetSorted(true);  // sorts at once
    EXPECT_EQ(NamesOf(list), (std::vector<std::string>{"\\y", "\\z", "\\Z"}));
    EXPECT_EQ(list.GetItemByName("\\Z")->Content.Hash, "1");
}

TEST(TFileList, SwapsOnlyInUnsortedModeAndInRange) {
    TFileList list(false);
    for (const char* n : {"\\a", "\\b", "\\c", "\\d"}) AddNamed(list, n, std::string("h") + n[1]);
    list.SwapItems(0, 3);
    EXPECT_EQ(list.GetId("\\a"), 3);
    EXPECT_EQ(list.GetId("\\d"), 0);
    EXPECT_EQ(list.GetItemByID(3)->Content.Hash, "ha");
    list.SwapItems(0, 4);
    list.SwapItems(-1, 0);
    EXPECT_EQ(NamesOf(list), (std::vector<std::string>{"\\d", "\\b", "\\c", "\\a"}));

    TFileList sorted(true);
    for (const char* n : {"\\a", "\\b", "\\c", "\\d"}) AddNamed(sorted, n);
    sorted.SwapItems(0, 3);
    EXPECT_EQ(NamesOf(sorted), (std::vector<std::string>{"\\a", "\\b", "\\c", "\\d"}));
}

TEST(TFileList, IgnoresIndexesOutOfRange) {
    TFileList list(true);
    AddNamed(list, "\\a");
    AddNamed(list, "\\b");
    EXPECT_EQ(list.GetItemByID(-1), nullptr);
    EXPECT_EQ(list.GetItemByID(list.Count()), nullptr);
    list.DeleteById(2);
    list.DeleteById(-1);
    list.DeleteByName("\\missing");
    EXPECT_EQ(list.Count(), 2);
    list.DeleteByName("\\A");
    EXPECT_EQ(NamesOf(list), std::vector<std::string>{"\\b"});
    list.Clear();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetId("\\b"), -1);
}

TEST(TFileList, AddsNothingOnceTheApplicationIsTerminating) {
    TFileList list(true);
    AddNamed(list, "\\kept");
    SetApplicationTerminated(true);
    AddNamed(list, "\\late");
    list.AddItemEmpty("\\later");
    EXPECT_EQ(list.Count(), 1);
    list.LoadFromStrings({"h|\\x|1|0|p"});
    EXPECT_EQ(list.Count(), 0);  // cleared first, then nothing added
    SetApplicationTerminated(false);
}

// Lookups must agree with a plain scan however the list was changed in between: large
// lists answer from an index that every change has to keep honest.
TEST(TFileList, LookupsStayRightThroughEveryKindOfChange) {
    for (bool sorted : {true, false}) {
        SCOPED_TRACE(sorted);
        TFileList list(sorted);
        std::mt19937 rng(11);
        auto name = [&] { return "\\dir\\F" + std::to_string(rng() % 700) + ".bin"; };
        auto check = [&] {
            for (int k = 0; k < 300; ++k) {
                std::string n = name();
                int32_t expected = -1;
                for (int32_t i = 0; i < list.Count() && expected < 0; ++i)
                    if (list.GetKey(i) == TFileList::KeyOf(n)) expected = i;
                ASSERT_EQ(list.GetId(n), expected) << n;
            }
        };
        for (int round = 0; round < 30; ++round) {
            switch (round % 5) {
                case 0: for (int k = 0; k < 40; ++k) AddNamed(list, name()); break;
                case 1: for (int k = 0; k < 10; ++k) list.DeleteById(static_cast<int32_t>(rng() % (list.Count() + 1))); break;
                case 2: list.SwapItems(static_cast<int32_t>(rng() % list.Count()), static_cast<int32_t>(rng() % list.Count())); break;
                case 3: AddNamed(list, "\\zzz" + std::to_string(round)); break;  // appended at the end
                case 4: list.DeleteByName(name()); break;
            }
            check();
        }
        if (sorted) {
            auto keys = list.Count();
            for (int32_t i = 1; i < keys; ++i) EXPECT_LT(list.GetKey(i - 1), list.GetKey(i));
        }
    }
}
