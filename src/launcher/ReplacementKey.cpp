// What a keyed launcher asks before it installs a file: a signed digest for the bytes, and
// for its own replacement, the key the replacement will trust.
#include "config/LauncherSlot.hpp"
#include "inventory/ListSignature.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/FileStream.hpp"

namespace tarvos {

namespace {

std::vector<std::uint8_t> ReadFileBytes(const std::string& fileName) {
    try {
        FileStream in(fileName, FileMode::OpenRead);
        std::vector<std::uint8_t> bytes(static_cast<size_t>(in.Size()));
        bytes.resize(in.Read(bytes.data(), bytes.size()));
        return bytes;
    } catch (const std::exception&) {
        return {};
    }
}

bool SameKey(const std::string& a, const std::string& b) {
    const auto ka = ParseListKey(a), kb = ParseListKey(b);
    return ka && kb && *ka == *kb;
}

}  // namespace

// A launcher without a key, or with another, would take lists this one refuses: replacing
// itself by such a copy would undo every check at the next start.
bool TFMain::ReplacementKeepsKey(const std::string& staged) {
    const std::string key = config_ ? config_->UpdateServers.PublicKey : std::string();
    if (key.empty()) return true;
    const std::string next = PublicKeyOfLauncher(ReadFileBytes(staged));
    if (SameKey(next, key)) return true;
    if (SameKey(next, AnnouncedKey)) {
        Log("Self-update to the announced key " + next);
        return true;
    }
    Log(next.empty() ? "Self-update refused, the new launcher carries no key: " + OldName
                     : "Self-update refused, the new launcher carries another key: " + OldName);
    return false;
}

bool TFMain::SignedDigestCovers(const TFileRecord& rec) {
    if (!config_ || config_->UpdateServers.PublicKey.empty()) return true;
    const TFileItem* listed = NewFileList->GetItemByName(rec.Name);
    if (listed && rec.Hash != kEmptyDigest && listed->Content.Hash == rec.Hash &&
        listed->Content.HashPacked == rec.HashPacked && rec.HashPacked != kEmptyDigest)
        return true;
    Log("File refused, no signed digest covers it: " + rec.Name);
    return false;
}

}  // namespace tarvos
