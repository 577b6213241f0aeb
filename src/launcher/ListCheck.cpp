#include "launcher/ListCheck.hpp"

#include "inventory/ListSignature.hpp"
#include "platform/DurableWrite.hpp"
#include "platform/FileStream.hpp"
#include "platform/MemoryStream.hpp"
#include "platform/Text.hpp"
#include "transfer/UpdaterDecompress.hpp"

namespace tarvos {

namespace {

// The packed list's head was overwritten by the publisher; bzip2 needs its own back.
std::string UnpackList(std::string_view packed) {
    if (packed.size() < 5) return {};
    MemoryStream in(packed);
    in.Seek(0, SeekOrigin::Begin);
    in.WriteBuffer("BZh91", 5);
    in.Seek(0, SeekOrigin::Begin);
    MemoryStream out;
    BZDecompressStream(in, out);
    return std::string(out.View());
}

std::string CheckRelease(const ListRelease& release, const std::string& serialFile, int64_t now) {
    if (release.expires > 0 && now > release.expires)
        return "the list expired at " + UtcText(release.expires) + " (the clock says " + UtcText(now) + ")";
    const uint64_t accepted = AcceptedSerial(serialFile);
    if (release.serial < accepted)
        return "release " + std::to_string(release.serial) + " is older than release " + std::to_string(accepted) +
               " accepted before";
    // Kept only when it grows. When it cannot be written this run still goes on: the next
    // one compares with the serial kept before, which is lower, never higher.
    if (release.serial > accepted) WriteFileDurably(serialFile, std::to_string(release.serial) + "\r\n");
    return {};
}

}  // namespace

uint64_t AcceptedSerial(const std::string& serialFile) {
    try {
        FileStream in(serialFile, FileMode::OpenRead);
        std::string text(32, '\0');
        text.resize(in.Read(text.data(), text.size()));
        text = TrimText(text);
        if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
        return std::stoull(text);
    } catch (const std::exception&) {
        return 0;
    }
}

ListCheck CheckFetchedList(std::string_view packed, std::string_view signature, const std::string& key,
                           const std::string& serialFile, int64_t now) {
    ListCheck check;
    if (!key.empty()) {
        check.refused = CheckListSignature(packed, signature, key);
        if (!check.refused.empty()) return check;
    }
    const std::string text = UnpackList(packed);
    if (text.empty()) {
        check.refused = "the list cannot be unpacked";
        return check;
    }
    check.lines = SplitLines(DecodeText(text));
    if (key.empty()) return check;
    check.refused = ReadListRelease(check.lines, check.release);
    if (check.refused.empty()) check.refused = CheckRelease(check.release, serialFile, now);
    if (!check.refused.empty()) {
        check.lines.clear();
        return check;
    }
    check.dropped = DropUnverifiableEntries(check.lines);
    return check;
}

}  // namespace tarvos
