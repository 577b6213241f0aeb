#include "inventory/SafeName.hpp"

#include <gtest/gtest.h>

namespace tarvos {

TEST(SafeName, KeepsOrdinaryNamesAndRefusesEveryWayOut) {
    for (const char* ok : {"\\t2.exe", "\\system\\t2.ini", "\\a b\\.hidden", "\\Spiel\xC3\xA4\\x.txt", "\\a/b..c"})
        EXPECT_TRUE(IsSafeListName(ok)) << ok;
    for (const char* bad : {"", "\\", "t2.exe", "\\..\\x", "\\a\\..\\..\\x", "\\a/../x", "\\..", "\\.\\x",
                            "\\\\server\\share\\x", "\\C:\\x", "\\C:x", "\\a\\\\b", "\\a\\", "\\...\\x",
                            "\\a.\\x", "\\a \\x", "\\x.", "\\a\x01", "\\a*b", "\\a?b", "\\a|b", "\\/etc/passwd"})
        EXPECT_FALSE(IsSafeListName(bad)) << bad;
    EXPECT_TRUE(IsSafeRelativePath("system\\t2.ini"));
    EXPECT_FALSE(IsSafeRelativePath("..\\..\\x"));
    EXPECT_FALSE(IsSafeRelativePath("/etc/passwd"));
}

}  // namespace tarvos
