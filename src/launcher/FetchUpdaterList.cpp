// The run's step between choosing a server and the start-up check: the packed file list.
#include "launcher/uMainForm.hpp"
#include "platform/FileSystem.hpp"
#include "platform/RandomAccessFile.hpp"
#include "transfer/UpdaterDecompress.hpp"

namespace tarvos {

void TFMain::FetchUpdaterList() {
    view_.SetText(MainLabel::Text_Status, Lang(7));
    view_.Repaint(MainLabel::Text_Status);
    URLName = "updater.lst";
    // A work file of its own: "$tmp.ta2" may hold the unfinished download of a game file,
    // which the next round goes on with.
    const std::string packed = TmpPath + "\\$list.ta2";
    // The run goes on whatever the copy or download gives: the check works with what is there.
    if (FileModeOn) {
        CopyFileUtf8(FileModeFolder + URLName + ".ta2", packed);
    } else {
        try {
            DM->GetFile(URLMain + URLName + ".ta2", packed);
        } catch (const std::exception&) {
            // like a failed download: no list
        }
    }
    view_.SetText(MainLabel::Text_Status, Lang(1) + URLName);
    try {
        BZDecompressFile(packed, MainPath + "\\" + URLName);
    } catch (const std::exception&) {
        // A damaged list is no list; a half-written one must not be read as the server's.
        DeleteFileUtf8(MainPath + "\\" + URLName);
    }
    DeleteFileUtf8(packed);
    SetOneFilePosition(0, false);
}

}  // namespace tarvos
