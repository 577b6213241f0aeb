#include "inventory/ListSignature.hpp"

#include <gtest/gtest.h>

#include "inventory/uClasses.hpp"

namespace tarvos {
namespace {

TEST(ListSignature, RefusesEveryChangedByteAndAnotherKey) {
    const ListKeyPair pair = MakeListKeyPair();
    const std::string key = ListKeyText(pair.publicKey);
    std::string list = "BZh91AY&SY a small packed list";
    for (int i = 0; i < 40; ++i) list += static_cast<char>(i * 37);
    std::string signature = SignList(list, pair.secretKey);
    ASSERT_EQ(CheckListSignature(list, signature, key), "");
    // Every position of the list and of the signature, changed to every other byte value.
    for (std::string* target : {&list, &signature}) {
        for (size_t at = 0; at < target->size(); ++at) {
            const char was = (*target)[at];
            for (int delta = 1; delta < 256; ++delta) {
                (*target)[at] = static_cast<char>(was + delta);
                ASSERT_NE(CheckListSignature(list, signature, key), "") << "byte " << at << " + " << delta;
            }
            (*target)[at] = was;
        }
    }
    EXPECT_NE(CheckListSignature(list.substr(0, list.size() - 1), signature, key), "") << "truncated";
    EXPECT_NE(CheckListSignature(list + "x", signature, key), "") << "extended";
    EXPECT_NE(CheckListSignature(list, signature.substr(1), key), "") << "short signature";
    EXPECT_NE(CheckListSignature(list, "", key), "") << "unsigned";
    EXPECT_NE(CheckListSignature(list, signature, ListKeyText(MakeListKeyPair().publicKey)), "") << "another key";
    EXPECT_NE(CheckListSignature(list, signature, key.substr(1)), "") << "a mistyped key";
    EXPECT_EQ(CheckListSignature(list, signature, " " + key + " "), "") << "blanks around the key";
    EXPECT_EQ(ParseSecretKey(SecretKeyText(pair.secretKey)), pair.secretKey);
    EXPECT_FALSE(ParseListKey(std::string(63, 'A') + "G"));
}

TEST(ListSignature, DropsFilesAndRequiredNamesThatNoPackedDigestCovers) {
    const std::string digest = "0123456789ABCDEF0123456789ABCDEF";
    std::vector<std::string> lines = {
        digest + "|\\good.txt|4|0000000000000000|" + digest,
        digest + "|\\no-packed.txt|4|0000000000000000|",
        digest + "|\\zero-packed.txt|4|0000000000000000|" + std::string(kEmptyDigest),
        digest + "|\\short-packed.txt|4|0000000000000000|0123",
        "",
        "#",
        "\\GOOD.txt",
        "\\no-packed.txt",
        "\\not-listed.txt",
        "@",
        "\\old.dll",
    };
    EXPECT_EQ(DropUnverifiableEntries(lines),
              (std::vector<std::string>{"\\no-packed.txt", "\\zero-packed.txt", "\\short-packed.txt",
                                        "\\no-packed.txt", "\\not-listed.txt"}));
    EXPECT_EQ(lines, (std::vector<std::string>{digest + "|\\good.txt|4|0000000000000000|" + digest, "", "#",
                                               "\\GOOD.txt", "@", "\\old.dll"}));
}

}  // namespace
}  // namespace tarvos
