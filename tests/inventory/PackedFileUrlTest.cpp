#include "inventory/PackedFileUrl.hpp"

#include <gtest/gtest.h>

namespace tarvos {

TEST(PackedFileUrl, EncodesEveryByteOfEachPartButKeepsTheServerAsWritten) {
    EXPECT_EQ(PackedFileUrl("http://h/game/", "\\system\\t2.ini"), "http://h/game/system/t2.ini.ta2");
    EXPECT_EQ(PackedFileUrl("http://h/game/", "\\system\\Track #1.ogg"), "http://h/game/system/Track%20%231.ogg.ta2");
    EXPECT_EQ(PackedFileUrl("http://h/game/", "\\a%20b?c+d;e&f=g'h(i)!@$,[]"),
              "http://h/game/a%2520b%3Fc%2Bd%3Be%26f%3Dg%27h%28i%29%21%40%24%2C%5B%5D.ta2");
    EXPECT_EQ(PackedFileUrl("http://h/game/", "\\Spiel\xC3\xA4\\-._~AZaz09"),
              "http://h/game/Spiel%C3%A4/-._~AZaz09.ta2");
    EXPECT_EQ(PackedFileUrl("http://h/game/", "\\a/b"), "http://h/game/a/b.ta2") << "either separator";
    // The operator's own escapes, a query or a backslash stay untouched.
    EXPECT_EQ(PackedFileUrl("http://h:81/my%20game\\", "\\x"), "http://h:81/my%20game\\x.ta2");
}

}  // namespace tarvos
