// Repairing files: fetch the packed form, verify it, unpack it beside the game, check the
// unpacked file, and only then put it in the place of the old one.
#include <algorithm>
#include <filesystem>
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
    if (ahead_ || aheadList_.empty() || IsLauncherFile(current.Name)) return;
    ahead_ = std::make_unique<FilesAhead>(DM->Engine(), AheadFolder(), Transfers());
    for (const AheadFile& f : aheadList_) ahead_->Add(f.url, f.key, f.estimate);
}

bool TFMain::IsLauncherFile(const std::string& listName) const { return LowerUser(listName) == LowerUser("\\" + ExeName); }

std::string TFMain::AheadFolder() const { return TmpPath + "\\$ahead"; }

std::string TFMain::ReadyFolder() const { return TmpPath + "\\$ready"; }

int32_t TFMain::Transfers() const {
    const int32_t transfers = User.Transfers > 0 ? User.Transfers : kDefaultTransfers;
    // Under a low cap more files at once only leave more of them half fetched: the cap, not
    // the round trips, sets the pace.
    if (User.LimitRate > 0) return static_cast<int32_t>(std::clamp<int64_t>(User.LimitRate / (16 << 10), 2, transfers));
    return transfers;
}

// The file fetched ahead for url, when it is whole and the expected one: it becomes the
// packed file to unpack, and stays in its folder until the run ends (removing files one by
// one slows down the making of new ones on some file systems).
bool TFMain::TakeFetchedAhead(const std::string& url, const std::string& expected) {
    if (!ahead_ || expected.empty() || FileModeOn) return false;
    const std::string got = ahead_->Take(
        url, [this] { return DM->Stopped(); }, [this] { UpdateDMProgress(*DM, 0, 0); });
    if (got.empty()) return false;
    // Counted by its unpacked size so far: from now on by what really came.
    if (const auto arrived = ReadSizeAndDate(got)) {
        int64_t& planned = planSizes_[planFile_];
        planTotal_ += arrived->Size - planned;
        planned = arrived->Size;
    }
    if (DigestOf(got) == expected) {
        Log("Download file: " + OldName + " (try 1)");
        packedFile_ = got;
        return true;
    }
    DeleteFileUtf8(got);
    return false;
}

void TFMain::EndFetchingAhead() {
    InstallReady();
    ahead_.reset();
    aheadList_.clear();
    RemoveFolderTreeUtf8(AheadFolder());
    RemoveFolderTreeUtf8(TmpPath + "\\$unpack");
}

void TFMain::PlanDownloads(const std::vector<const TFileRecord*>& files) {
    planSizes_.clear();
    planTotal_ = planDone_ = 0;
    rate_.Reset();
    aheadList_.clear();
    // A file fetched ahead comes by one GET whose response tells its size: asking first would
    // cost a round trip per file. It is counted by its unpacked size until it has arrived.
    std::vector<bool> oneGet(files.size(), false);
    std::vector<std::string> urls, asked;
    for (size_t i = 0; i < files.size(); ++i) {
        const TFileRecord& rec = *files[i];
        urls.push_back(UrlPath(PackedFileUrl(URLMain, rec.Name)));
        const bool self = IsLauncherFile(rec.Name);
        // Only with a digest, which names its work file and tells a whole one from anything else.
        oneGet[i] = !FileModeOn && !self && rec.HashPacked != kEmptyDigest && rec.Size >= 0 && rec.Size < kOneGetBelow;
        if (!oneGet[i]) asked.push_back(urls.back());
    }
    std::vector<int64_t> sizes;
    if (FileModeOn) {
        for (const TFileRecord* rec : files) {
            const auto known = ReadSizeAndDate(FileModeFolder + rec->Name.substr(1) + ".ta2");
            sizes.push_back(known ? known->Size : -1);
        }
    } else {
        sizes = DM->QuerySizes(asked);
    }
    size_t k = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const int64_t size = oneGet[i] ? files[i]->Size : std::max<int64_t>(sizes[k++], 0);
        planSizes_[files[i]->Name] = size;
        planTotal_ += size;
        if (oneGet[i]) aheadList_.push_back({urls[i], files[i]->HashPacked, size});
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
    // A file fetched ahead waits for others to be flushed with; its packed form stays in its
    // folder until the run ends, so a run killed before only unpacks it again.
    if (!staged.empty() && packedFile_.rfind(AheadFolder() + "\\", 0) == 0 && SetReady(rec, staged, target)) return;
    const bool installed = !staged.empty() && Install(rec, staged, target);
    // Kept until the file is in place: a run killed before only unpacks it again.
    if (arrived) DiscardWorkFile(TmpPath + "\\$tmp.ta2");
    if (installed)
        RecordInOldList(rec);
    else
        FileFailed(rec);
}

void TFMain::DateStaged(const TFileRecord& rec, const std::string& staged) {
    Log("Set DateTime: " + OldName);
    if (rec.Date != 0) SetFileDates(staged, 7, rec.Date);
}

// Dates a checked file and moves it out of the staging folder to wait for its flush; false
// when it cannot wait (the launcher's own file, or a failed move), to be installed at once.
bool TFMain::SetReady(const TFileRecord& rec, const std::string& staged, const std::string& target) {
    if (IsLauncherFile(rec.Name)) return false;
    const std::string folder = ReadyFolder();
    if (readyFiles_.empty()) {
        RemoveFolderTreeUtf8(folder);
        CreateFolderUtf8(folder);
    }
    const std::string ready = folder + "\\" + std::to_string(readyFiles_.size());
    if (!RenameFileUtf8(staged, ready)) return false;
    DateStaged(rec, ready);
    readyFiles_.push_back({rec, ready, target});
    // Enough to share the flushes' wait, few enough that the player sees files arrive.
    constexpr size_t kFlushTogether = 64;
    if (readyFiles_.size() >= kFlushTogether) InstallReady();
    return true;
}

void TFMain::InstallReady() {
    if (readyFiles_.empty()) return;
    std::vector<std::string> names;
    for (const ReadyFile& r : readyFiles_) names.push_back(r.ready);
    const std::vector<int> errors = FlushFilesUtf8(names);
    const std::string current = OldName;
    for (size_t i = 0; i < readyFiles_.size(); ++i) {
        const ReadyFile& r = readyFiles_[i];
        OldName = r.rec.Name.substr(1);
        bool installed = false;
        if (errors[i]) {
            NoteWriteFailure(r.rec.Name, r.ready, errors[i]);
            Log("Cannot replace " + OldName);
        } else {
            installed = Install(r.rec, r.ready, r.target, true);
        }
        if (installed)
            RecordInOldList(r.rec);
        else
            FileFailed(r.rec);
    }
    OldName = current;
    readyFiles_.clear();
    RemoveFolderTreeUtf8(ReadyFolder());
}

// Unpacks the packed file into an empty staging folder and checks the file against the list;
// the staged file's path, or empty when the archive did not give the listed file.
std::string TFMain::Unpack(const TFileRecord& rec, const std::string& staging) {
    // The folder is kept from file to file: making and removing it for each one costs more
    // than the unpacking of a small file.
    std::error_code ec;
    if (!std::filesystem::is_empty(PathFromUtf8(staging), ec) || ec) {
        RemoveFolderTreeUtf8(staging);
        CreateFolderUtf8(staging);
    }
    Log("Unpack:: " + OldName);
    int writeError = UnRarFile(packedFile_, staging, [&](int64_t done, int64_t total) {
        if (OnUnpackProgress) OnUnpackProgress(rec.Name, done, total);
    });
    const std::string staged = StagedFile(staging, URLName);
    if (staged.empty() || writeError) {
        // The extracting library does not always keep the reason of a failed write: the room
        // the file needs is asked for, and the file system's refusal is the reason.
        RemoveFolderTreeUtf8(staging);
        CreateFolderUtf8(staging);
        if (!IsDiskFullError(writeError))
            if (const int refused = ProbeRoomUtf8(staging + "\\" + URLName, rec.Size)) writeError = refused;
        if (writeError) NoteWriteFailure(rec.Name, staging + "\\" + URLName, writeError);
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
bool TFMain::Install(const TFileRecord& rec, const std::string& staged, const std::string& target, bool flushed) {
    if (!flushed) DateStaged(rec, staged);
    const bool self = IsLauncherFile(rec.Name);
    if (self && !ReplacementKeepsKey(staged)) return false;
    int error = 0;
    bool placed = PutInPlace(staged, target, self, flushed, error);
    if (!placed && IsCrossVolumeError(error)) {
        // A target behind a link to another volume, or a work folder on one: the file is
        // copied beside its target first, so that the step that replaces it stays a rename.
        const std::string beside = target + kBesideSuffix;
        NoteBesideFile(beside);
        error = CopyFileDurably(staged, beside);
        placed = !error && PutInPlace(beside, target, self, true, error);
        if (placed && rec.Date != 0) SetFileDates(target, 7, rec.Date);  // the copy's own creation time
        if (!placed) DeleteFileUtf8(beside);
    }
    if (placed) return true;
    NoteWriteFailure(rec.Name, target, error);
    Log(self ? "Self-update failed, previous launcher kept: " + OldName : "Cannot replace " + OldName);
    return false;
}

bool TFMain::PutInPlace(const std::string& from, const std::string& target, bool self, bool flushed, int& error) {
    if (!self) {
        // A folder's flush costs as much as a file's: each folder is flushed once, before
        // the list that records its files is saved.
        if (!(flushed ? MoveFlushedFileLeavingFolderUtf8(from, target, &error)
                      : ReplaceFileLeavingFolderUtf8(from, target, &error)))
            return false;
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
    packedFile_ = packed;
    if (TakeFetchedAhead(url, expected)) return true;
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
                // The pieces of this file count among the transfers in flight.
                if (ahead_) ahead_->SetInFlight(std::max(1, Transfers() - DM->Threads()));
                try {
                    DM->GetFile(url, packed);
                } catch (const std::exception&) {
                    DM->HaveError = true;
                }
                if (ahead_) ahead_->SetInFlight(Transfers());
                fetched = !DM->HaveError;
                if (!fetched && DM->WriteError()) NoteWriteFailure(planFile_, packed, DM->WriteError());
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
