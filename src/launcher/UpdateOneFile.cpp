// Repairing files: fetch the packed form, verify it, unpack it, date it and record it.
#include "inventory/CustomMD5.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/Error.hpp"
#include "platform/FileSystem.hpp"
#include "platform/FileTimes.hpp"
#include "platform/RandomAccessFile.hpp"
#include "platform/Text.hpp"
#include "transfer/RAR.hpp"

namespace tarvos {

namespace {

std::string FileNameOf(const std::string& path) {
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Creates the folders of a list name below the game folder, one level at a time.
void CreateFolders(const std::string& mainPath, const std::string& name) {
    for (size_t cut = name.find_first_of("\\/", 1); cut != std::string::npos;
         cut = name.find_first_of("\\/", cut + 1))
        CreateFolderUtf8(mainPath + name.substr(0, cut));
}

std::string UrlPath(std::string s) {
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

// The digest of the fetched file; an absent or unreadable file matches nothing.
std::string DigestOf(const std::string& file) {
    try {
        return FileMD5(file);
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace

void TFMain::UpdateRequiredFiles() {
    if (Required->Count() == 0) return;
    ForTotal([&](IndicatorState& s, MainIndicator) {
        s.Position = 0;
        s.Max = Required->Count();
    });
    view_.SetText(MainLabel::Text_StatusTotal, Lang(24) + "0%");
    OneFileToWidths();
    Required->SetSorted(false);
    const int32_t self = Required->GetId("\\" + ExeName);
    if (self > 0) Required->SwapItems(self, 0);
    const int32_t count = Required->Count();
    for (int32_t id = 0; id < count; ++id) {
        SetOneFilePosition(0, false);
        _self = false;
        UpdateOneFile(*Required->GetItemByID(id));
        if (_self) {
            if (OnSaveSettings) OnSaveSettings();
            shell_.StartElevated(ExeName, "", MainPath);
            OnEndProcess(0);
            return;
        }
        SetTotalPosition(id + 1);
        SetTotalPercent(id, count);
    }
    Required->Clear();
    EnterReady(5);
    OldFileList->SaveToFile(TmpPath + "\\OldList.lst");
}

void TFMain::UpdateOneFile(TFileItem& item) {
    const TFileRecord rec = item.Content;
    if (!NameIsSafe(rec.Name)) return;
    view_.SetText(MainLabel::Text_Status, Lang(4) + rec.Name);
    const size_t lastCut = rec.Name.find_last_of("\\/");
    // Unpacked below the game folder itself, whatever the process's current folder is.
    const std::string folder = lastCut == 0 ? MainPath : MainPath + rec.Name.substr(0, lastCut);
    const std::string target = MainPath + rec.Name;
    CreateFolders(MainPath, rec.Name);
    URLName = FileNameOf(target);
    OldName = rec.Name.substr(1);
    const std::string expected = rec.HashPacked == kEmptyDigest ? std::string() : rec.HashPacked;
    const std::string self = MainPath + "\\" + OldName;
    if (LowerUser(FileNameOf(self)) == LowerUser(ExeName)) {
        // The running launcher is set aside rather than deleted, so that it can come back
        // when its replacement fails.
        DeleteFileUtf8(self + ".bak");
        RenameFileUtf8(self, self + ".bak");
        _self = true;
    } else {
        DeleteFileUtf8(target);
    }
    const std::string packed = TmpPath + "\\$tmp.ta2";
    if (!FetchPacked(UrlPath(URLMain + OldName + ".ta2"), expected)) {
        Log("FItem.Content.Name " + OldName + ": hash error !!!");
        ++failedFiles_;
        if (_self) RestoreSelf(self);
        return;
    }
    view_.SetText(MainLabel::Text_Status, Lang(1) + rec.Name);
    view_.Repaint(MainLabel::Text_Status);
    loop_.ProcessMessages();
    Log("Unpack:: " + OldName);
    UnRarFile(packed, folder);
    Log("Set DateTime: " + OldName);
    DeleteFileUtf8(packed);
    if (_self && (!FileExistsUtf8(target) || (rec.Hash != kEmptyDigest && DigestOf(target) != rec.Hash))) {
        RestoreSelf(self);
        return;
    }
    if (rec.Date != 0) SetFileDates(target, 7, rec.Date);
    RecordInOldList(rec);
}

// Up to three rounds of up to three downloads (or one copy in file mode) into "$tmp.ta2";
// true when a round produced the expected packed digest (or none is expected).
bool TFMain::FetchPacked(const std::string& url, const std::string& expected) {
    const std::string packed = TmpPath + "\\$tmp.ta2";
    for (int round = 1; round <= 3; ++round) {
        if (FileModeOn) {
            CopyFileUtf8(FileModeFolder + OldName + ".ta2", packed);
        } else {
            Log("Download file: " + OldName + " (try " + std::to_string(round) + ")");
            for (int attempt = 0; attempt < 3; ++attempt) {
                try {
                    DM->GetFile(url, packed);
                } catch (const std::exception&) {
                    DM->HaveError = true;
                }
                if (!DM->HaveError) break;
            }
        }
        // Without a packed file to digest the round has failed like any other mismatch.
        const std::string actual = expected.empty() ? expected : DigestOf(packed);
        if (actual == expected) return true;
    }
    return false;
}

// Puts the previous launcher back when its replacement could not be installed, so that the
// running launcher goes on instead of restarting into a missing executable.
void TFMain::RestoreSelf(const std::string& self) {
    if (FileExistsUtf8(self + ".bak")) {
        DeleteFileUtf8(self);
        RenameFileUtf8(self + ".bak", self);
    }
    _self = false;
    Log("Self-update failed, previous launcher kept: " + OldName);
}

void TFMain::RecordInOldList(const TFileRecord& rec) {
    if (TFileItem* o = OldFileList->GetItemByName(rec.Name))
        o->Content = rec;
    else
        OldFileList->AddItemSimple(rec.Name, rec.Hash, rec.HashPacked, rec.Size, rec.Date);
}

bool TFMain::SetFileDates(const std::string& fileName, uint8_t which, double date) {
    return SetFileTimesLocal(fileName, which, date);
}

}  // namespace tarvos
