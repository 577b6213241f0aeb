// Repairing files: fetch the packed form, verify it, unpack it beside the game, check the
// unpacked file, and only then put it in the place of the old one.
#include <algorithm>
#include <fstream>

#include "inventory/CustomMD5.hpp"
#include "inventory/PackedFileUrl.hpp"
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

// The digest of a file; an absent or unreadable file matches nothing.
std::string DigestOf(const std::string& file) {
    try {
        return FileMD5(file);
    } catch (const std::exception&) {
        return {};
    }
}

// The file an archive unpacked into the staging folder: the one under the listed name, or
// the only file there when the archive spells the name otherwise.
std::string StagedFile(const std::string& staging, const std::string& name) {
    if (FileExistsUtf8(staging + "\\" + name)) return staging + "\\" + name;
    const std::vector<std::string> files = FilesInFolderUtf8(staging);
    return files.size() == 1 ? staging + "\\" + files.front() : std::string();
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
    std::vector<const TFileRecord*> planned;
    for (int32_t id = 0; id < count; ++id) planned.push_back(&Required->GetItemByID(id)->Content);
    PlanDownloads(planned);
    for (int32_t id = 0; id < count; ++id) {
        SetOneFilePosition(0, false);
        UpdateOneFile(*Required->GetItemByID(id));
        if (_self) {
            // The new launcher decides from this list when it starts: without the record of
            // its own executable a light check would fetch and restart it again, forever.
            SaveOldList();
            if (OnSaveSettings) OnSaveSettings();
            folderLock_.Release();
            shell_.StartElevated(ExeName, "", MainPath);
            OnEndProcess(0);
            return;
        }
        SetTotalPosition(id + 1);
        SetTotalPercent(id, count);
    }
    EndFetchingAhead();
    Required->Clear();
    EnterReady(5);
    SaveOldList();
}

void TFMain::FetchAhead(const TFileRecord& current) {
    // The launcher's own file goes first and alone: the others begin once it is done.
    if (ahead_ || aheadList_.empty() || LowerUser(current.Name) == LowerUser("\\" + ExeName)) return;
    // The current file's pieces count among the transfers.
    ahead_ = std::make_unique<FilesAhead>(DM->Engine(), TmpPath + "\\$ahead", std::max(1, (User.Transfers > 0 ? User.Transfers : kDefaultTransfers) - DM->Threads()));
    for (const auto& [url, key] : aheadList_) ahead_->Add(url, key);
}

// The file fetched ahead for url, moved into the work file, when it is whole and the
// expected one.
bool TFMain::TakeFetchedAhead(const std::string& url, const std::string& expected, const std::string& packed) {
    if (!ahead_ || expected.empty() || FileModeOn) return false;
    const std::string got = ahead_->Take(
        url, [this] { return DM->Stopped(); }, [this] { UpdateDMProgress(*DM, 0, 0); });
    if (got.empty()) return false;
    DiscardWorkFile(packed);
    if (RenameFileUtf8(got, packed) && DigestOf(packed) == expected) {
        Log("Download file: " + OldName + " (try 1)");
        return true;
    }
    DiscardWorkFile(packed);
    return false;
}

void TFMain::EndFetchingAhead() {
    ahead_.reset();
    aheadList_.clear();
    RemoveFolderTreeUtf8(TmpPath + "\\$ahead");
}

void TFMain::PlanDownloads(const std::vector<const TFileRecord*>& files) {
    planSizes_.clear();
    planTotal_ = planDone_ = 0;
    rate_.Reset();
    std::vector<std::string> urls;
    for (const TFileRecord* rec : files) urls.push_back(UrlPath(PackedFileUrl(URLMain, rec->Name)));
    std::vector<int64_t> sizes;
    if (FileModeOn) {
        for (const TFileRecord* rec : files) {
            const auto known = ReadSizeAndDate(FileModeFolder + rec->Name.substr(1) + ".ta2");
            sizes.push_back(known ? known->Size : -1);
        }
    } else {
        sizes = DM->QuerySizes(urls);
    }
    aheadList_.clear();
    for (size_t i = 0; i < files.size(); ++i) {
        const int64_t size = std::max<int64_t>(sizes[i], 0);
        planSizes_[files[i]->Name] = size;
        planTotal_ += size;
        // A file that comes in one piece is fetched ahead by one request; only with a
        // digest, which names its work file and tells a whole one from anything else.
        const bool self = LowerUser(files[i]->Name) == LowerUser("\\" + ExeName);
        if (!FileModeOn && !self && size > 0 && PieceCount(size, DM->Threads()) == 1 &&
            files[i]->HashPacked != kEmptyDigest)
            aheadList_.emplace_back(urls[i], files[i]->HashPacked);
    }
    TRunEvent e;
    e.phase = "downloading";
    e.files = static_cast<int32_t>(files.size());
    e.total = planTotal_;
    Emit(e);
}

void TFMain::SaveOldList() {
    for (const std::string& folder : unsyncedFolders_) SyncFolderUtf8(folder);
    unsyncedFolders_.clear();
    try {
        OldFileList->SaveToFile(TmpPath + "\\OldList.lst");
    } catch (const std::exception& error) {
        // The files are in place, but what was installed is not known to the next run: a
        // light check would take stale records for the truth. The run has failed.
        listSaveFailed_ = true;
        Log(std::string("Cannot save the previous-state list: ") + error.what());
        MsgShow(ListSaveFailedText());
    }
}

std::string TFMain::ListSaveFailedText() const {
    return "Cannot save the list of installed files " + PathToUtf8(PathFromUtf8(TmpPath + "\\OldList.lst")) + ".";
}

void TFMain::UpdateOneFile(TFileItem& item) {
    const TFileRecord rec = item.Content;
    _self = false;
    if (!NameIsSafe(rec.Name)) return;
    if (!SignedDigestCovers(rec)) {
        OldName = rec.Name.substr(1);
        FileFailed(rec);
        return;
    }
    view_.SetText(MainLabel::Text_Status, Lang(4) + rec.Name);
    planFile_ = rec.Name;
    TRunEvent fileEvent;
    fileEvent.kind = TRunEvent::Kind::File;
    fileEvent.phase = "downloading";
    fileEvent.file = rec.Name;
    Emit(fileEvent);
    const std::string target = MainPath + rec.Name;
    CreateFolders(MainPath, rec.Name);
    URLName = FileNameOf(target);
    OldName = rec.Name.substr(1);
    const std::string expected = rec.HashPacked == kEmptyDigest ? std::string() : rec.HashPacked;
    const std::string staging = TmpPath + "\\$unpack";
    FetchAhead(rec);
    // A big file the player already has may come as its changed blocks; the archive otherwise.
    std::string staged = DeltaUpdate(rec, target, staging);
    // The chosen server first, then the others in the order they were probed; a server
    // that failed a file gives way to the one that served it.
    std::vector<std::string> servers{URLMain};
    if (!FileModeOn) servers.insert(servers.end(), FallbackServers.begin(), FallbackServers.end());
    bool arrived = false;  // a packed file arrived whole: nothing of it is worth resuming
    for (size_t k = 0; k < servers.size() && staged.empty(); ++k) {
        if (!FetchPacked(UrlPath(PackedFileUrl(servers[k], rec.Name)), expected, k + 1 < servers.size())) continue;
        if (!arrived) {
            // The file's bytes count as done once, whichever server gave them.
            const auto planned = planSizes_.find(rec.Name);
            if (planned != planSizes_.end()) planDone_ += planned->second;
            fileEvent.phase = "unpacking";
            Emit(fileEvent);
        }
        arrived = true;
        view_.SetText(MainLabel::Text_Status, Lang(1) + rec.Name);
        view_.Repaint(MainLabel::Text_Status);
        loop_.ProcessMessages();
        staged = Unpack(rec, staging);
        if (staged.empty()) continue;
        Log("Served by " + servers[k] + ": " + OldName);
        if (k > 0) PreferServer(servers[k]);
    }
    if (arrived) DiscardWorkFile(TmpPath + "\\$tmp.ta2");
    const bool installed = !staged.empty() && Install(rec, staged, target);
    RemoveFolderTreeUtf8(staging);
    if (installed)
        RecordInOldList(rec);
    else
        FileFailed(rec);
}

// Unpacks "$tmp.ta2" into an empty staging folder and checks the file against the list;
// the staged file's path, or empty when the archive did not give the listed file.
std::string TFMain::Unpack(const TFileRecord& rec, const std::string& staging) {
    RemoveFolderTreeUtf8(staging);
    CreateFolderUtf8(staging);
    Log("Unpack:: " + OldName);
    // The extracting library does not keep the reason of a failed write: the room the file
    // needs is asked for first, and the file system's refusal is the reason.
    if (const int refused = ProbeRoomUtf8(staging + "\\" + URLName, rec.Size)) {
        NoteWriteFailure(rec.Name, staging, refused);
        Log("Unpack failed: " + OldName);
        return {};
    }
    const int writeError = UnRarFile(TmpPath + "\\$tmp.ta2", staging, [&](int64_t done, int64_t total) {
        if (OnUnpackProgress) OnUnpackProgress(rec.Name, done, total);
    });
    if (writeError) NoteWriteFailure(rec.Name, staging + "\\" + URLName, writeError);
    const std::string staged = StagedFile(staging, URLName);
    if (staged.empty() || writeError) {
        Log("Unpack failed: " + OldName);
        return {};
    }
    // A required name without a line in the file section carries the old file's measured
    // record: the server lists nothing to check the new file against, and the old digest
    // differs by nature. (A launcher with a list key never gets here: it refuses such
    // names with the list, since it cannot check them.)
    const bool listed = NewFileList->GetItemByName(rec.Name) != nullptr;
    if (listed && rec.Hash != kEmptyDigest && DigestOf(staged) != rec.Hash) {
        Log("Unpacked file differs from the list: " + OldName);
        return {};
    }
    return staged;
}

// Dates the staged file and puts it in the target's place in one step. The running
// launcher cannot be replaced in place, so it is set aside first and put back when the
// new one cannot take its place.
bool TFMain::Install(const TFileRecord& rec, const std::string& staged, const std::string& target) {
    Log("Set DateTime: " + OldName);
    if (rec.Date != 0) SetFileDates(staged, 7, rec.Date);
    const bool self = LowerUser(rec.Name) == LowerUser("\\" + ExeName);
    if (self && !ReplacementKeepsKey(staged)) return false;
    int error = 0;
    bool placed = PutInPlace(staged, target, self, error);
    if (!placed && IsCrossVolumeError(error)) {
        // A target behind a link to another volume, or a work folder on one: the file is
        // copied beside its target first, so that the step that replaces it stays a rename.
        const std::string beside = target + kBesideSuffix;
        NoteBesideFile(beside);
        error = CopyFileDurably(staged, beside);
        placed = !error && PutInPlace(beside, target, self, error);
        if (placed && rec.Date != 0) SetFileDates(target, 7, rec.Date);  // the copy's own creation time
        if (!placed) DeleteFileUtf8(beside);
    }
    if (placed) return true;
    NoteWriteFailure(rec.Name, target, error);
    Log(self ? "Self-update failed, previous launcher kept: " + OldName : "Cannot replace " + OldName);
    return false;
}

bool TFMain::PutInPlace(const std::string& from, const std::string& target, bool self, int& error) {
    if (!self) {
        // A folder's flush costs as much as a file's: each folder is flushed once, before
        // the list that records its files is saved.
        if (!ReplaceFileLeavingFolderUtf8(from, target, &error)) return false;
        unsyncedFolders_.insert(FolderOfUtf8(target));
        return true;
    }
    const std::string bak = target + ".bak";
    if (ReplaceSettingAsideUtf8(from, target, bak, &error)) {
        _self = true;
        return true;
    }
    if (FileExistsUtf8(bak) && !FileExistsUtf8(target)) RenameFileUtf8(bak, target);
    return false;
}

// Work files beside game files are listed before they are made, so that the next run that
// takes the lock removes what a killed one left.
void TFMain::NoteBesideFile(const std::string& beside) {
    const std::string journal = TmpPath + "\\$beside.lst";
    const bool fresh = !FileExistsUtf8(journal);
    std::ofstream out(PathFromUtf8(journal), std::ios::binary | std::ios::app);
    out << (fresh ? "\xEF\xBB\xBF" : "") << beside << "\r\n";  // UTF-8 whatever the code page
}

void TFMain::RemoveBesideFiles() {
    const std::string journal = TmpPath + "\\$beside.lst";
    if (!FileExistsUtf8(journal)) return;
    std::vector<std::string> names;
    try {
        names = ReadTextLines(journal);
    } catch (const std::exception&) {
    }
    const std::string suffix = kBesideSuffix;
    for (const std::string& name : names)
        if (name.size() > suffix.size() && name.rfind(MainPath + "\\", 0) == 0 &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            DeleteFileUtf8(name);
    DeleteFileUtf8(journal);
}

void TFMain::NoteWriteFailure(const std::string& listName, const std::string& path, int systemError) {
    if (!IsDiskFullError(systemError) || diskFull_) return;
    // Said once, for the first file that found no room: the disk is the player's to free.
    diskFull_ = true;
    diskFullName_ = listName;
    diskFullVolume_ = VolumeOfUtf8(path);
    Log("The disk is full: " + diskFullVolume_ + " has no room for " + listName);
}

void TFMain::FileFailed(const TFileRecord& rec) {
    Log("FItem.Content.Name " + OldName + ": hash error !!!");
    ++failedFiles_;
    failedNames_.push_back(rec.Name);
    // Whatever was installed before is no longer known to be there: a light check must not
    // take the old record for a good file.
    if (const int32_t id = OldFileList->GetId(rec.Name); id >= 0) OldFileList->DeleteById(id);
}

void TFMain::PreferServer(const std::string& server) {
    auto& f = FallbackServers;
    f.erase(std::remove(f.begin(), f.end(), server), f.end());
    f.push_back(URLMain);
    URLMain = server;
    Log("Server changed to " + server);
}

// Up to three rounds of up to three downloads (or one copy in file mode) into "$tmp.ta2";
// true when a round produced the expected packed digest (or, with none expected, a file).
// A server that does not connect or goes silent within the limits is left at once when
// another server can serve the file.
bool TFMain::FetchPacked(const std::string& url, const std::string& expected, bool moreServers) {
    const std::string packed = TmpPath + "\\$tmp.ta2";
    // With a packed digest the downloader goes on with what an interrupted attempt (or a
    // killed run) left of this very file, and starts afresh for anything else.
    DM->ResumeKey = expected;
    // A stalled piece fails the download at once: the rounds below go on with what it
    // brought, or another server takes the file.
    DM->StallRestarts = 0;
    struct ClearKey {
        TDownloadMultiThread& dm;
        ~ClearKey() {
            dm.ResumeKey.clear();
            dm.StallRestarts = 3;
        }
    } clearKey{*DM};
    if (TakeFetchedAhead(url, expected, packed)) return true;
    for (int round = 1; round <= 3; ++round) {
        // Without a digest to tell them apart, a work file left by another file's round
        // could be taken for this one.
        if (expected.empty() || FileModeOn) DiscardWorkFile(packed);
        bool fetched = false;
        if (FileModeOn) {
            fetched = CopyFileUtf8(FileModeFolder + OldName + ".ta2", packed);
        } else {
            Log("Download file: " + OldName + " (try " + std::to_string(round) + ")");
            for (int attempt = 0; attempt < 3 && !fetched; ++attempt) {
                try {
                    DM->GetFile(url, packed);
                } catch (const std::exception&) {
                    DM->HaveError = true;
                }
                fetched = !DM->HaveError;
                if (loop_.Terminated()) return false;
                if (!fetched && moreServers && DM->Unresponsive()) {
                    Log("Server not answering, trying the next: " + OldName);
                    return false;
                }
            }
        }
        if (expected.empty() ? fetched && FileExistsUtf8(packed) : fetched && DigestOf(packed) == expected)
            return true;
        // Whole but wrong: what arrived must not be resumed into the next round.
        if (fetched) DiscardWorkFile(packed);
    }
    return false;
}

void TFMain::DiscardWorkFile(const std::string& packed) {
    DeleteFileUtf8(packed);
    DeleteFileUtf8(ResumeState::FileOf(packed));
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
