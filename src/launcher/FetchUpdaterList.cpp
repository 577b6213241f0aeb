// The run's step between choosing a server and the start-up check: the packed file list,
// and its signature when the configuration carries a key.
#include "launcher/uMainForm.hpp"
#include "platform/FileStream.hpp"
#include "platform/FileSystem.hpp"
#include "platform/RandomAccessFile.hpp"
#include "platform/Text.hpp"

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
    std::string sig;
    if (!key.empty()) {
        DeleteFileUtf8(signature);
        fetch(URLName + ".ta2.sig", signature);
        sig = ReadBytes(signature);
        DeleteFileUtf8(signature);
    }
    view_.SetText(MainLabel::Text_Status, Lang(1) + URLName);
    TakeList(ReadBytes(packed), sig, list);
    DeleteFileUtf8(packed);
    SetOneFilePosition(0, false);
}

}  // namespace tarvos
