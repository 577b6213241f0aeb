// A signature file and the list beside it, both as a mirror could serve them: the check
// must accept exactly the list its key's owner signed, and the entries a signed list keeps
// must be the ones its signature covers (dropping twice drops nothing more).
//
// Input: [mode] [64 bytes: the signature file] then the packed list. Mode 1 replaces the
// signature by the real one over the list, so that the fuzzer also explores signed lists.
#include <sodium.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "inventory/ListSignature.hpp"
#include "platform/Text.hpp"
#include "support/FuzzInput.hpp"

using namespace tarvos;

namespace {

struct FixedKeys {
    ListKeyPair pair;
    std::string publicText;
    FixedKeys() {
        if (sodium_init() < 0) std::abort();
        unsigned char seed[crypto_sign_SEEDBYTES];
        for (size_t i = 0; i < sizeof seed; ++i) seed[i] = static_cast<unsigned char>(i * 7 + 1);
        crypto_sign_seed_keypair(pair.publicKey.data(), pair.secretKey.data(), seed);
        publicText = ListKeyText(pair.publicKey);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FixedKeys keys;
    FuzzInput in(data, size);
    const uint8_t mode = in.Byte();
    std::string signature = in.Bytes(kListSignatureBytes);
    const std::string list = in.Rest();
    const std::string genuine = SignList(list, keys.pair.secretKey);
    if (mode == 1) signature = genuine;

    const bool accepted = CheckListSignature(list, signature, keys.publicText).empty();
    if (accepted != (signature == genuine)) std::abort();

    std::vector<std::string> lines = SplitLines(DecodeText(list));
    DropUnverifiableEntries(lines);
    const std::vector<std::string> kept = lines;
    if (!DropUnverifiableEntries(lines).empty() || lines != kept) std::abort();
    return 0;
}
