// Taking the fetched list: the checks a key asks for, over the very bytes that were fetched.
#include <ctime>

#include "launcher/ListCheck.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/FileStream.hpp"
#include "platform/FileSystem.hpp"

namespace tarvos {

namespace {

// Writes the lines as UTF-8 behind a byte-order mark: every reader takes it the same on any
// code page, so no name is lost in the rewrite.
void WriteUtf8Lines(const std::string& fileName, const std::vector<std::string>& lines) {
    std::string bytes = "\xEF\xBB\xBF";
    for (const auto& line : lines) bytes += line + "\r\n";
    FileStream out(fileName, FileMode::Create);
    out.Write(bytes.data(), bytes.size());
}

}  // namespace

// Checks the very bytes that were fetched and writes the list they hold; with a key, a list
// that fails any check leaves no list behind, and the reason is kept for the last word.
void TFMain::TakeList(const std::string& packed, const std::string& signature, const std::string& list) {
    const std::string key = config_ ? config_->UpdateServers.PublicKey : std::string();
    ListCheck checked;
    try {
        checked = CheckFetchedList(packed, signature, key, TmpPath + "\\ListRelease.txt",
                                   static_cast<int64_t>(std::time(nullptr)));
    } catch (const std::exception& e) {
        checked.refused = e.what();  // the check could not run: no list is taken unchecked
    }
    if (!checked.refused.empty()) {
        // A damaged list is no list; without a key that needs no word of its own.
        if (!key.empty()) {
            listRefused_ = checked.refused;
            Log("File list refused: " + checked.refused);
        }
        return;
    }
    for (const auto& name : checked.dropped) Log("File list entry refused, no packed digest to check: " + name);
    AnnouncedKey = checked.release.nextKey;
    try {
        WriteUtf8Lines(list, checked.lines);
    } catch (const std::exception&) {
        // A half-written list must not be read as the server's.
        DeleteFileUtf8(list);
    }
}

}  // namespace tarvos
