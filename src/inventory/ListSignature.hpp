#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvos {

// The server's packed file list can be signed with Ed25519 over its exact bytes; the
// signature travels beside it as a file of its own. The launcher's configuration carries the
// public key as 64 hexadecimal digits; without one nothing is checked.
inline constexpr size_t kListSignatureBytes = 64;
// While a key gives way to the next, the signature file holds one signature by each, one
// after the other; launchers look for the one their key made.
inline constexpr size_t kMaxListSignatures = 4;
using ListPublicKey = std::array<std::uint8_t, 32>;
using ListSecretKey = std::array<std::uint8_t, 64>;

// The public key of its text form (64 hexadecimal digits, either letter case, blanks around
// them ignored); none when the text is anything else.
std::optional<ListPublicKey> ParseListKey(std::string_view text);
std::string ListKeyText(const ListPublicKey& key);

// Why a packed list must be refused, or an empty text when one of its signatures was made by
// the key's owner over exactly these bytes.
std::string CheckListSignature(std::string_view packedList, std::string_view signature, std::string_view keyText);

// A signature covers the files only through their packed digests. Drops from the lines of
// a signed "updater.lst" every file line without a packed digest to check, and every
// required name that then has no file line; returns the names dropped, in list order.
std::vector<std::string> DropUnverifiableEntries(std::vector<std::string>& lines);

// For the publisher: a fresh key pair, and the detached signature of a packed list.
struct ListKeyPair {
    ListPublicKey publicKey;
    ListSecretKey secretKey;
};
ListKeyPair MakeListKeyPair();
std::string SignList(std::string_view packedList, const ListSecretKey& secretKey);
ListPublicKey PublicKeyOf(const ListSecretKey& secretKey);
// The secret key's text form, as the key file holds it (128 hexadecimal digits).
std::string SecretKeyText(const ListSecretKey& key);
std::optional<ListSecretKey> ParseSecretKey(std::string_view text);

}  // namespace tarvos
