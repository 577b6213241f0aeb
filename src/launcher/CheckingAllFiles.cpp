// The full check: every server file that the start-up check left alone.
#include "launcher/uMainForm.hpp"

namespace tarvos {

void TFMain::Button_CheckAllFilesClick() {
    CheckingAllFiles();
    view_.SetText(MainLabel::Text_Status, Lang(6));
}

void TFMain::CheckingAllFiles() {
    if (CheckAll->Count() == 0) return;
    // Once per run: the button stays disabled from here on.
    view_.SetEnabled(MainButton::Button_CheckAllFiles, false);
    if (!LockGameFolder()) {
        MsgShow(FolderBusy() ? std::string(kFolderBusyText) : WorkFolderUnusableText());
        return;
    }
    const FolderUnlock unlock{folderLock_};
    DecodeSettings();
    for (int32_t i = 0; i < CheckAll->Count();) {
        if (KeptAsPlayers(CheckAll->GetItemByID(i)->Content.Name))
            CheckAll->DeleteById(i);
        else
            ++i;
    }
    ResetOneFile(CheckAll->Count());
    if (Mode != TCheckMode::Light) {
        Measure(CheckAll);
    } else {
        ForOneFile([&](IndicatorState& s, MainIndicator) { s.Max = OldFileList->Count(); });
        for (int32_t i = 0; i < OldFileList->Count(); ++i) {
            const TFileRecord& o = OldFileList->GetItemByID(i)->Content;
            const int32_t c = CheckAll->GetId(o.Name);
            if (c >= 0 && CheckAll->GetItemByID(c)->Content.Hash == o.Hash) CheckAll->DeleteById(c);
            SetOneFilePosition(i, false);
        }
    }
    ForTotal([&](IndicatorState& s, MainIndicator) {
        s.Position = 0;
        s.Max = CheckAll->Count();
    });
    view_.SetText(MainLabel::Text_StatusTotal, Lang(24) + "0%");
    OneFileToWidths();
    const int32_t count = CheckAll->Count();
    // What differs is known before anything is fetched, so the repair's size is too.
    std::vector<int32_t> repairs;
    for (int32_t i = 0; i < count; ++i) {
        TFileItem& c = *CheckAll->GetItemByID(i);
        const TFileItem* sItem = NewFileList->GetItemByName(c.Content.Name);
        if (!sItem) continue;
        const TFileRecord& s = sItem->Content;
        bool good = false;
        switch (Mode) {
            case TCheckMode::Hard:
                good = c.Content.Hash == s.Hash;
                if (good && s.Date != 0) SetFileDates(MainPath + s.Name, 7, s.Date);
                break;
            case TCheckMode::Medium:
                good = c.Content.Size == s.Size && c.Content.Date == s.Date;
                break;
            case TCheckMode::Light: {
                const TFileItem* o = OldFileList->GetItemByName(c.Content.Name);
                if (o && o->Content.Hash == s.Hash) continue;  // confirmed before: nothing recorded
                break;
            }
        }
        if (good) {
            RecordInOldList(s);
            continue;
        }
        c.Content = s;
        repairs.push_back(i);
    }
    if (!repairs.empty()) {
        std::vector<const TFileRecord*> planned;
        for (int32_t i : repairs) planned.push_back(&CheckAll->GetItemByID(i)->Content);
        PlanDownloads(planned);
    }
    for (int32_t i : repairs) {
        UpdateOneFile(*CheckAll->GetItemByID(i));
        SetTotalPosition(i + 1);
        SetTotalPercent(i, count);
    }
    EndFetchingAhead();
    TotalToMaximum();
    view_.SetText(MainLabel::Text_StatusTotal, Lang(24) + "100%");
    for (int32_t i = 0; i < OldFileList->Count();) {
        if (NewFileList->GetId(OldFileList->GetItemByID(i)->Content.Name) < 0)
            OldFileList->DeleteById(i);
        else
            ++i;
    }
    SaveOldList();
}

}  // namespace tarvos
