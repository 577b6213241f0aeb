#include "inventory/ListSignature.hpp"

#include <sodium.h>

#include <unordered_set>

#include "inventory/uClasses.hpp"
#include "platform/Error.hpp"
#include "platform/Text.hpp"

namespace tarvos {
namespace {

static_assert(crypto_sign_PUBLICKEYBYTES == 32 && crypto_sign_SECRETKEYBYTES == 64 &&
              crypto_sign_BYTES == kListSignatureBytes);

void InitSodium() {
    // Thread-safe and idempotent; fails only when no random source can be opened.
    if (sodium_init() < 0) throw TarvosError("The signature library cannot start");
}

template <size_t N>
std::optional<std::array<std::uint8_t, N>> FromHex(std::string_view text) {
    const std::string hex = TrimText(text);
    if (hex.size() != 2 * N) return std::nullopt;
    std::array<std::uint8_t, N> out{};
    for (size_t i = 0; i < hex.size(); ++i) {
        const char c = hex[i];
        int v = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (v < 0) return std::nullopt;
        out[i / 2] = static_cast<std::uint8_t>(out[i / 2] << 4 | v);
    }
    return out;
}

template <size_t N>
std::string ToHex(const std::array<std::uint8_t, N>& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

}  // namespace

std::optional<ListPublicKey> ParseListKey(std::string_view text) { return FromHex<32>(text); }
std::string ListKeyText(const ListPublicKey& key) { return ToHex(key); }
std::optional<ListSecretKey> ParseSecretKey(std::string_view text) { return FromHex<64>(text); }
std::string SecretKeyText(const ListSecretKey& key) { return ToHex(key); }

std::string CheckListSignature(std::string_view packedList, std::string_view signature, std::string_view keyText) {
    const auto key = ParseListKey(keyText);
    if (!key) return "the configured public key is not 64 hexadecimal digits";
    if (packedList.empty()) return "no list came from the server";
    // One signature, or during a change of key one by each key: a launcher needs its own.
    if (signature.empty() || signature.size() % kListSignatureBytes != 0 ||
        signature.size() > kMaxListSignatures * kListSignatureBytes)
        return "the signature file is missing or not " + std::to_string(kListSignatureBytes) + " bytes long";
    InitSodium();
    bool matched = false;
    for (size_t at = 0; at < signature.size() && !matched; at += kListSignatureBytes)
        matched = crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.data() + at),
                                              reinterpret_cast<const unsigned char*>(packedList.data()),
                                              packedList.size(), key->data()) == 0;
    if (!matched) return "the signature does not match the list and the configured key";
    return {};
}

std::vector<std::string> DropUnverifiableEntries(std::vector<std::string>& lines) {
    std::vector<std::string> dropped, kept;
    std::unordered_set<std::string> covered;
    size_t i = 0;
    for (; i < lines.size(); ++i) {
        const std::string trimmed = TrimText(lines[i]);
        if (!trimmed.empty() && trimmed.front() == '#') break;
        if (trimmed.find('|') == std::string::npos) {
            kept.push_back(lines[i]);  // not a file line: the check passes over it
            continue;
        }
        const TFileRecord r = ParseFileListLine(lines[i]);
        if (FromHex<16>(r.HashPacked) && r.HashPacked != kEmptyDigest) {
            covered.insert(TFileList::KeyOf(r.Name));
            kept.push_back(lines[i]);
        } else {
            dropped.push_back(r.Name);
        }
    }
    bool required = true;
    for (; i < lines.size(); ++i) {
        const std::string name = TrimText(lines[i]);
        if (!name.empty() && name.front() == '@') required = false;
        if (required && !name.empty() && name.front() != '#' && !covered.count(TFileList::KeyOf(name))) {
            dropped.push_back(name);
            continue;
        }
        kept.push_back(lines[i]);
    }
    lines = std::move(kept);
    return dropped;
}

ListKeyPair MakeListKeyPair() {
    InitSodium();
    ListKeyPair pair;
    crypto_sign_keypair(pair.publicKey.data(), pair.secretKey.data());
    return pair;
}

std::string SignList(std::string_view packedList, const ListSecretKey& secretKey) {
    InitSodium();
    std::string signature(kListSignatureBytes, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char*>(packedList.data()), packedList.size(),
                         secretKey.data());
    return signature;
}

ListPublicKey PublicKeyOf(const ListSecretKey& secretKey) {
    ListPublicKey key{};
    crypto_sign_ed25519_sk_to_pk(key.data(), secretKey.data());
    return key;
}

}  // namespace tarvos
