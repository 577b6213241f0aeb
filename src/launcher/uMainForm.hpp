#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "config/uConfigData.hpp"
#include "inventory/uClasses.hpp"
#include "inventory/uMTHash.hpp"
#include "launcher/MainView.hpp"
#include "platform/EventLoop.hpp"
#include "platform/Shell.hpp"
#include "startup/tDebugFile.hpp"
#include "transfer/DownloadMultiThread.hpp"

namespace tarvos {

// How the check compares the installation with the server list.
enum class TCheckMode { Hard, Medium, Light };

// The main window's controller: the run from the server's file list to the ready state. The
// window itself is reached only through MainView, so the same controller drives the Windows
// window, the console view and the tests' recording view.
class TFMain {
public:
    // Everything is borrowed and must outlive the controller; debug is null without "-debug".
    TFMain(MainView& view, EventLoop& loop, const TLanguageArray& lang, Shell& shell, tDebugFile* debug);
    ~TFMain();
    TFMain(const TFMain&) = delete;
    TFMain& operator=(const TFMain&) = delete;

    // ---- the update pipeline ----
    // Fetches (or in file mode copies) the packed file list and unpacks it into
    // MainPath\updater.lst; failures leave no list behind.
    void FetchUpdaterList();
    // The start-up check: missing files and the required section, then the ready state.
    void CheckingRequiredFiles();
    void UpdateRequiredFiles();
    // Fetches, verifies and unpacks one file and records it in OldFileList.
    void UpdateOneFile(TFileItem& item);
    // The full check of every server file the start-up check left alone; once per run.
    void CheckingAllFiles();
    void Button_CheckAllFilesClick();
    void OneHashCheched(TMHThreads& Sender, const std::string& filename, const std::string& hash, int64_t size,
                        double date);
    void UpdateDMProgress(TDownloadMultiThread& Sender, int64_t loaded, int64_t size);
    // which: 1 creation, 2 last access, 4 last write.
    bool SetFileDates(const std::string& fileName, uint8_t which, double date);

    // ---- state of the window and the run ----
    bool Draging = false;
    int32_t X0 = 0, Y0 = 0;
    int32_t LangConst = 0;
    bool AutoClose = false;
    std::string SelProxy = "auto";
    std::string ProxyLine;
    std::string DriveType = "HDD";
    std::string CheckMode = "Hard: MD5 Hash";
    std::string LangFolder = "default";
    int32_t MainLeft = -1, MainTop = -1;
    int32_t ProxyIdx = 0;
    std::string NewsURL;
    std::string OldName;
    bool Complette = false;
    int32_t ErrorCnt = 0;
    bool _ok = false;
    bool _self = false;
    std::string URLMain;
    std::string URLName;
    std::string MainPath;  // the launcher's folder, no trailing separator
    std::string TmpPath;   // MainPath + "\updater"
    bool _oneshot = false;
    tDebugFile* debug_file;
    std::unique_ptr<TDownloadMultiThread> DM;
    std::unique_ptr<TFileList> NewFileList, OldFileList, Required, CheckAll;

    // Set from a "filemode=FOLDER" argument: packed files are copied from that folder
    // (ending in "\") instead of being downloaded.
    bool FileModeOn = false;
    std::string FileModeFolder;
    // The launcher's own file name without its folder; it is updated first and replaces itself.
    std::string ExeName;

    // The run's decoded settings, kept from one check to the next.
    int32_t WorkerCount = 1;
    TCheckMode Mode = TCheckMode::Hard;

    // Saves the user settings before the launcher replaces itself (the controller's
    // SaveIniFile).
    std::function<void()> OnSaveSettings;
    // Ends the process after the replacement launcher was started; tests observe it instead.
    std::function<void(int code)> OnEndProcess;

private:
    void DecodeSettings();
    const std::string& Lang(int slot) const { return lang_[static_cast<size_t>(slot)]; }
    void Log(const std::string& line) const;
    // Refuses a name that would leave the game folder, with a debug-log line.
    bool NameIsSafe(const std::string& name) const;

    // The per-file pair (bar and gauge) and the total pair are always set together.
    void ForOneFile(const std::function<void(IndicatorState&, MainIndicator)>& change);
    void ForTotal(const std::function<void(IndicatorState&, MainIndicator)>& change);
    void ResetOneFile(int64_t maximum);
    void OneFileToWidths();
    void SetOneFilePosition(int64_t position, bool repaint);
    void SetTotalPosition(int64_t position);
    void TotalToMaximum();
    void SetTotalPercent(int32_t done, int32_t count);
    void EnterReady(int statusText);

    // Parts of the start-up check.
    std::vector<std::string> ReadServerList();
    void TakeControlSections(std::vector<std::string>& lines, size_t marker);
    void Measure(std::unique_ptr<TFileList>& list);
    void DecideRequired();
    void RecordInOldList(const TFileRecord& rec);

    // Parts of one file's update.
    bool FetchPacked(const std::string& url, const std::string& expected);
    void RestoreSelf(const std::string& self);

    MainView& view_;
    EventLoop& loop_;
    const TLanguageArray& lang_;
    Shell& shell_;
};

// round(done * 100 / count) with halves to even, as the total progress text shows it.
int32_t ProgressPercent(int32_t done, int32_t count);

}  // namespace tarvos
