// A signature file and a packed list, both as a mirror could serve them, through the check a
// keyed launcher makes: the signature, the release line (serial, expiry, next key) against the
// serial this game folder accepted before, and the pruning of entries no signature covers.
// Only a list its key's owner signed may pass, never one older than what was accepted or
// past its expiry; the serial kept afterwards is the highest seen; what is kept is kept again.
//
// Input: [mode] [serial accepted before] then, for mode 0, [64 bytes: the signature file] and
// the packed list; for mode 1, the list's text, packed and signed here with the real key, so
// that the fuzzer reaches the release line and the entries behind a valid signature.
#include <bzlib.h>
#include <sodium.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "inventory/ListRelease.hpp"
#include "inventory/ListSignature.hpp"
#include "launcher/ListCheck.hpp"
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

std::string Packed(const std::string& text) {
    std::string out(text.size() + text.size() / 100 + 600, '\0');
    auto length = static_cast<unsigned int>(out.size());
    if (BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(text.data()),
                                 static_cast<unsigned int>(text.size()), 9, 0, 0) != BZ_OK)
        std::abort();
    out.resize(length);
    return out;
}

constexpr int64_t kNow = 1796860800;  // 2026-12-10, midnight UTC

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FixedKeys keys;
    static const std::string serialFile = FuzzScratchFile("serial");
    FuzzInput in(data, size);
    const uint8_t mode = in.Byte();
    const uint64_t before = in.Byte();
    WriteFileBytes(serialFile, std::to_string(before).data(), std::to_string(before).size());
    std::string signature, packed;
    if (mode % 2 == 1) {
        packed = Packed(in.Rest());
        signature = SignList(packed, keys.pair.secretKey);
    } else {
        signature = in.Bytes(kListSignatureBytes);
        packed = in.Rest();
    }
    const bool genuine = signature == SignList(packed, keys.pair.secretKey);
    if (CheckListSignature(packed, signature, keys.publicText).empty() != genuine) std::abort();

    ListCheck check;
    try {
        check = CheckFetchedList(packed, signature, keys.publicText, serialFile, kNow);
    } catch (const std::exception&) {
        // A signed list that does not unpack fails as the launcher reports it; nothing kept.
        if (AcceptedSerial(serialFile) != before) std::abort();
        return 0;
    }
    const uint64_t after = AcceptedSerial(serialFile);
    if (!check.refused.empty()) {
        if (after != before || !check.lines.empty()) std::abort();
        return 0;
    }
    if (!genuine || check.release.serial < before) std::abort();
    if (check.release.expires != 0 && check.release.expires < kNow) std::abort();
    if (after != std::max(before, check.release.serial)) std::abort();

    // The release line the list carries reads back the same once written anew.
    ListRelease again;
    if (check.release.serial != 0 || !check.release.nextKey.empty() || check.release.expires != 0) {
        if (!ReadListRelease({ListReleaseLine(check.release)}, again).empty()) std::abort();
        if (again.serial != check.release.serial || again.expires != check.release.expires ||
            again.nextKey != check.release.nextKey)
            std::abort();
    }
    std::vector<std::string> lines = check.lines;
    if (!DropUnverifiableEntries(lines).empty() || lines != check.lines) std::abort();
    return 0;
}
