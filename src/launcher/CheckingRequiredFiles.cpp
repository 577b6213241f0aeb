// The start-up check: which files of the server list must be repaired before the game starts.
#include "launcher/uMainForm.hpp"
#include "platform/FileSystem.hpp"
#include "platform/RandomAccessFile.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {
bool StartsWith(const std::string& s, char c) { return !s.empty() && s[0] == c; }
}  // namespace

void TFMain::CheckingRequiredFiles() {
    DecodeSettings();
    if (FileExistsUtf8(MainPath + "\\updater.lst")) {
        if (FileExistsUtf8(TmpPath + "\\OldList.lst")) OldFileList->LoadFromFile(TmpPath + "\\OldList.lst");
        std::vector<std::string> fileSection = ReadServerList();
        NewFileList->LoadFromStrings(fileSection);
        ResetOneFile(Required->Count());
        if (Mode != TCheckMode::Light) Measure(Required);
    }
    for (int32_t i = 0; i < NewFileList->Count(); ++i) {
        const TFileRecord& s = NewFileList->GetItemByID(i)->Content;
        if (Required->GetId(s.Name) < 0)
            CheckAll->AddItemSimple(s.Name, s.Hash, s.HashPacked, s.Size, s.Date);
    }
    DecideRequired();
    ForOneFile([](IndicatorState& s, MainIndicator) { s.Position = s.Max; });
    if (Required->Count() > 0) {
        UpdateRequiredFiles();
        return;
    }
    EnterReady(3);
}

// Reads and deletes "updater.lst": collects the missing files of its file section and the
// names of its required section in Required, deletes the files of its delete section, and
// returns the file section's usable lines.
std::vector<std::string> TFMain::ReadServerList() {
    const std::string listName = MainPath + "\\updater.lst";
    std::vector<std::string> lines = ReadTextLines(listName);
    DeleteFileUtf8(listName);
    ResetOneFile(Required->Count());
    std::vector<std::string> fileSection;
    size_t i = 0;
    for (; i < lines.size(); ++i) {
        const std::string trimmed = TrimText(lines[i]);
        if (StartsWith(trimmed, '#')) break;
        if (i % 10 == 0) SetOneFilePosition(static_cast<int64_t>(i), true);
        // Blank and malformed lines are not files: they are passed over, not taken as names.
        if (trimmed.find('|') == std::string::npos) continue;
        const std::string name = ParseFileListLine(lines[i]).Name;
        if (TrimText(name).empty() || !NameIsSafe(name)) continue;
        fileSection.push_back(lines[i]);
        if (!FileExistsUtf8(MainPath + name)) Required->AddItemEmpty(name);
    }
    if (i < lines.size()) TakeControlSections(lines, i + 1);
    return fileSection;
}

// The lines after the "#" marker: required names up to an "@" line, then names to delete.
void TFMain::TakeControlSections(std::vector<std::string>& lines, size_t first) {
    size_t i = first;
    bool deleting = false;
    for (; i < lines.size(); ++i) {
        // Letter case is kept: the lists compare names without it, and a case-sensitive
        // file system needs the name as written.
        const std::string name = TrimText(lines[i]);
        if (name.empty()) continue;
        if (StartsWith(name, '@')) {
            deleting = true;
            ++i;
            break;
        }
        if (NameIsSafe(name) && !KeptAsPlayers(name)) Required->AddItemEmpty(name);
    }
    if (!deleting) return;
    for (; i < lines.size(); ++i) {
        const std::string name = TrimText(lines[i]);
        if (name.empty()) continue;
        // Delete names may come with or without their leading "\".
        const std::string listName = StartsWith(name, '\\') ? name : "\\" + name;
        if (NameIsSafe(listName) && !KeptAsPlayers(listName)) DeleteFileUtf8(MainPath + listName);
    }
}

bool TFMain::KeptAsPlayers(const std::string& name) const {
    const std::string listName = StartsWith(name, '\\') ? name : "\\" + name;
    // The launcher's own file is never the player's, however broad a pattern: kept, the
    // launcher would never update itself.
    if (IsLauncherFile(listName)) return false;
    if (!OwnedFiles.Owns(listName) || !FileExistsUtf8(MainPath + listName)) return false;
    Log("Player's file kept: " + name);
    return true;
}

// Replaces the list by the measured records of its files.
void TFMain::Measure(std::unique_ptr<TFileList>& list) {
    TRunEvent e;
    e.phase = "checking";
    e.files = list->Count();
    Emit(e);
    TMHThreads hasher(loop_);
    hasher.OnThreadFileProceed = [this](TMHThreads& s, const std::string& f, const std::string& h,
                                        int64_t size, double date) { OneHashCheched(s, f, h, size, date); };
    hasher.ModeIsHaveHash = Mode != TCheckMode::Medium;
    list = hasher.CalculateHash(MainPath, *list, WorkerCount);
}

// Keeps in Required only what differs from the server, with the server's record.
void TFMain::DecideRequired() {
    for (int32_t i = 0; i < Required->Count();) {
        TFileRecord& r = Required->GetItemByID(i)->Content;
        const TFileItem* s = NewFileList->GetItemByName(r.Name);
        bool good = false;
        if (s) {
            const TFileRecord& server = s->Content;
            switch (Mode) {
                case TCheckMode::Hard:
                    good = r.Hash == server.Hash;
                    if (good && server.Date != 0) SetFileDates(MainPath + server.Name, 7, server.Date);
                    break;
                case TCheckMode::Medium:
                    good = r.Size == server.Size && r.Date == server.Date;
                    break;
                case TCheckMode::Light: {
                    const TFileItem* o = OldFileList->GetItemByName(r.Name);
                    // Never installed by us: fetched with the server's record, so that it is
                    // verified, dated and recorded as the server lists it, and not fetched
                    // (or, for the launcher, restarted into) a second time.
                    if (!o) break;
                    good = o->Content.Hash == server.Hash;
                    break;
                }
            }
            if (!good) r = server;
        }
        if (good)
            Required->DeleteById(i);
        else
            ++i;
    }
}

}  // namespace tarvos
