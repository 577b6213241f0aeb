// The run's step between choosing a server and the start-up check: the packed file list,
// and its signature when the configuration carries a key.
#include "inventory/ListSignature.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/FileStream.hpp"
#include "platform/FileSystem.hpp"
#include "platform/RandomAccessFile.hpp"
#include "platform/Text.hpp"
#include "transfer/UpdaterDecompress.hpp"

namespace tarvos {

namespace {

// A whole file's bytes; empty when it cannot be read. Lists and signatures are small.
std::string ReadBytes(const std::string& fileName) {
    try {
        FileStream in(fileName, FileMode::OpenRead);
        std::string bytes(static_cast<size_t>(in.Size()), '\0');
        bytes.resize(in.Read(bytes.data(), bytes.size()));
        return bytes;
    } catch (const std::exception&) {
        return {};
    }
}

// Writes the lines as UTF-8 behind a byte-order mark: every reader takes it the same on any
// code page, so no name is lost in the rewrite.
void WriteUtf8Lines(const std::string& fileName, const std::vector<std::string>& lines) {
    std::string bytes = "\xEF\xBB\xBF";
    for (const auto& line : lines) bytes += line + "\r\n";
    FileStream out(fileName, FileMode::Create);
    out.Write(bytes.data(), bytes.size());
}

// Only files whose packed form has a digest in the signed list can be checked after download.
void DropUnverifiable(const std::string& list, const std::function<void(const std::string&)>& log) {
    std::vector<std::string> lines = ReadTextLines(list);
    const std::vector<std::string> dropped = DropUnverifiableEntries(lines);
    if (dropped.empty()) return;
    for (const auto& name : dropped) log("File list entry refused, no packed digest to check: " + name);
    WriteUtf8Lines(list, lines);
}

}  // namespace

void TFMain::FetchUpdaterList() {
    view_.SetText(MainLabel::Text_Status, Lang(7));
    view_.Repaint(MainLabel::Text_Status);
    URLName = "updater.lst";
    // A work file of its own: "$tmp.ta2" may hold the unfinished download of a game file,
    // which the next round goes on with.
    const std::string packed = TmpPath + "\\$list.ta2";
    const std::string signature = TmpPath + "\\$list.sig";
    const std::string list = MainPath + "\\" + URLName;
    const std::string key = config_ ? config_->UpdateServers.PublicKey : std::string();
    // The run goes on whatever the copy or download gives: the check works with what is there.
    const auto fetch = [this](const std::string& name, const std::string& target) {
        if (FileModeOn) {
            CopyFileUtf8(FileModeFolder + name, target);
            return;
        }
        try {
            DM->GetFile(URLMain + name, target);
        } catch (const std::exception&) {
            // like a failed download: nothing
        }
    };
    // Files left from an earlier run must never stand in for what this run fetches.
    DeleteFileUtf8(packed);
    DeleteFileUtf8(list);
    fetch(URLName + ".ta2", packed);
    std::string refused;
    if (!key.empty()) {
        DeleteFileUtf8(signature);
        fetch(URLName + ".ta2.sig", signature);
        try {
            refused = CheckListSignature(ReadBytes(packed), ReadBytes(signature), key);
        } catch (const std::exception& e) {
            refused = e.what();  // the check could not run: no list is taken unchecked
        }
        DeleteFileUtf8(signature);
    }
    view_.SetText(MainLabel::Text_Status, Lang(1) + URLName);
    if (!refused.empty()) {
        Log("File list refused: " + refused);
    } else {
        try {
            BZDecompressFile(packed, list);
            if (!key.empty()) DropUnverifiable(list, [this](const std::string& line) { Log(line); });
        } catch (const std::exception&) {
            // A damaged list is no list; a half-written one must not be read as the server's.
            DeleteFileUtf8(list);
        }
    }
    DeleteFileUtf8(packed);
    SetOneFilePosition(0, false);
}

}  // namespace tarvos
