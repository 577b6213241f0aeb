#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "config/TarvosUpdateConfig.hpp"
#include "config/uConfigData.hpp"
#include "config/uSettings.hpp"
#include "inventory/OwnedFiles.hpp"
#include "inventory/uClasses.hpp"
#include "inventory/uMTHash.hpp"
#include "launcher/GameProxies.hpp"
#include "launcher/GameStart.hpp"
#include "launcher/MainView.hpp"
#include "launcher/RunProgress.hpp"
#include "platform/EventLoop.hpp"
#include "platform/FileLock.hpp"
#include "platform/Shell.hpp"
#include "startup/tDebugFile.hpp"
#include "transfer/DownloadMultiThread.hpp"
#include "transfer/FilesAhead.hpp"

namespace tarvos {

// Transfers in flight at once in a repair (the pieces of a split file counted), unless the
// settings say otherwise.
inline constexpr int32_t kDefaultTransfers = 16;

// Files listed smaller than this are fetched in one request without asking their size: their
// packed form stays below the size that is split into pieces (an archive adds a little to a
// file it cannot shrink).
inline constexpr int64_t kOneGetBelow = 99000;

// How long a run waits for another launcher to leave the game folder.
inline constexpr int kGameFolderLockWaitMs = 5000;

// A file copied from another volume waits under its target's name with this ending until
// the rename that installs it.
inline constexpr const char* kBesideSuffix = ".$new";

// What a launcher says when another one is updating its game folder.
inline constexpr const char* kFolderBusyText = "Another launcher is updating this game folder.";

// Releases the game folder's lock when a stretch of work that changes files is over.
struct FolderUnlock {
    FileLock& lock;
    ~FolderUnlock() { lock.Release(); }
};

// How the check compares the installation with the server list.
enum class TCheckMode { Hard, Medium, Light };

// The main window's controller: the run from the server's file list to the ready state. The
// window itself is reached only through MainView, so the same controller drives the Windows
// window, the console view and the tests' recording view.
class TFMain {
public:
    // Everything is borrowed and must outlive the controller; debug is null without "-debug".
    // The pipeline needs nothing more; the window half (FormCreate onwards) also needs
    // the configuration and the skin (Attach).
    TFMain(MainView& view, EventLoop& loop, TLanguageArray& lang, Shell& shell, tDebugFile* debug);
    ~TFMain();
    TFMain(const TFMain&) = delete;
    TFMain& operator=(const TFMain&) = delete;

    // The configuration record and skin model of this process, and the settings window
    // (none: the settings button does nothing).
    void Attach(tConfigData& config, const TtucConfig& skin, TFSettings* settings = nullptr);

    // ---- the window and the run ----
    // Creation: the skin check, paths, the "filemode" argument, settings, language, proxy
    // choice, hints, caption, fade, left-overs, lists, downloader, background. `args` are
    // the command-line arguments after the program name; only the first is examined.
    void FormCreate(const std::vector<std::string>& args);
    // Acts on the first showing only: position, news page, then the run's timer.
    void FormShow();
    // The run: server, list, start-up check, then the game proxies.
    void MainTimerTimer();
    void SetLanguage();
    void MsgShow(const std::string& text);
    void MsgCloseBtnClick();
    void MsgTimerTimer();
    void MsgTimer2Timer();
    void FadeTimerTimer();
    void FormMouseDown(int x, int y);
    void FormMouseMove(int x, int y);
    void FormMouseUp();
    void MinimizeButtonClick();
    void RxTrayIcon1Click();
    // True when the navigation is to be cancelled inside the panel (it was handed to the
    // system browser instead, when the player clicked it, or refused). Holds for the whole
    // life of the process, also once the settings window has detached the other handlers.
    bool WebBrowser1BeforeNavigate2(const std::string& url, bool byPlayer);
    void WebBrowser1NavigateComplete2();
    void WebBrowser1NavigateError();
    void Button_StartGameClick();
    void Button_ConfigClick();
    // Saves the settings, stops the downloader and hash workers, and ends the run's loop.
    void Button_CloseClick();
    void LoadIniFile();
    // False when the file could not be written (logged; closing goes on).
    bool SaveIniFile();
    void LoadDatConfig();
    void LoadProxyList();

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
    // Sets the download cap (bytes per second, 0: none) for the rest of the run, also in
    // the middle of a download; it reaches the settings file with the other settings.
    void SetLimitRate(int64_t bytesPerSecond);
    // which: 1 creation, 2 last access, 4 last write.
    bool SetFileDates(const std::string& fileName, uint8_t which, double date);

    // ---- state of the window and the run ----
    bool Draging = false;
    int32_t X0 = 0, Y0 = 0;
    // The user's choices (the settings file, the settings window) under their own names.
    TUserSettings User;
    int32_t& LangConst = User.LangConst;
    bool& AutoClose = User.AutoClose;
    std::string& SelProxy = User.SelProxy;
    std::string& DriveType = User.DriveType;
    std::string& CheckMode = User.CheckMode;
    std::string& LangFolder = User.LangFolder;
    int32_t& MainLeft = User.MainLeft;
    int32_t& MainTop = User.MainTop;
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
    // The player's files (from the configuration, set by Attach): installed when missing,
    // otherwise left alone by both checks and the delete section.
    TOwnedFiles OwnedFiles;

    // The run's decoded settings, kept from one check to the next.
    int32_t WorkerCount = 1;
    TCheckMode Mode = TCheckMode::Hard;

    // Saves the user settings before the launcher replaces itself (SaveIniFile unless
    // replaced).
    std::function<void()> OnSaveSettings;
    // Phases, files and download progress in bytes, for front ends that show them.
    std::function<void(const TRunEvent&)> OnRunEvent;
    // Ends the process after the replacement launcher was started; tests observe it instead.
    std::function<void(int code)> OnEndProcess;

    // The game proxies: ProxyIdx, ProxyLine and the probes (created by FormCreate).
    std::unique_ptr<TProxyCheck> Proxies;
    // Starts the game client; the shell's elevated start unless replaced (tests record).
    ProgramStarter OnStartProgram;
    // The run has reached the ready state (or found no server): the start button is usable.
    bool Ready() const { return ready_; }
    // Whether the run found an update server; files that could not be repaired at the end.
    bool NoServer() const { return noServer_; }
    int32_t FailedFiles() const { return failedFiles_; }
    // The list names of the files that could not be repaired, in the order they failed.
    const std::vector<std::string>& FailedNames() const { return failedNames_; }
    // A file failed while its volume had no room for it: the first such file's list name
    // and its volume.
    bool DiskFull() const { return diskFull_; }
    const std::string& DiskFullName() const { return diskFullName_; }
    const std::string& DiskFullVolume() const { return diskFullVolume_; }
    // A write for the file `listName` failed at `path` with this system error: a full disk
    // is remembered (IsDiskFullError decides), anything else is the caller's to report.
    void NoteWriteFailure(const std::string& listName, const std::string& path, int systemError);
    // The list of installed files could not be saved at the end of a repair or a full check.
    bool ListSaveFailed() const { return listSaveFailed_; }
    std::string ListSaveFailedText() const;
    // Sees every unpacked piece of a file (its list name, bytes so far, its size); tests
    // stop the process there.
    std::function<void(const std::string& name, int64_t done, int64_t total)> OnUnpackProgress;
    // Why the server's list was refused under the configured key; empty when it was not.
    const std::string& ListRefusal() const { return listRefused_; }
    // The key the accepted list announces to follow the configured one; empty when none.
    std::string AnnouncedKey;
    // Another launcher was updating this game folder: this run did nothing.
    bool FolderBusy() const { return folderBusy_; }
    // The other servers that answered the probe, in probe order: a file that fails on the
    // chosen server is tried on them.
    std::vector<std::string> FallbackServers;
    // The navigation handlers are detached once the settings window has been used.
    bool WebHandlersAttached = true;
    // Set by the web view's handlers; the first showing waits for it.
    bool NavigationFinished = true;
    // Intervals, shortened by tests.
    Timer MainTimer, MsgTimer, MsgTimer2, FadeTimer;
    int32_t MsgTimerTag = 0;

private:
    void DecodeSettings();
    void EndRunWithoutServer();
    void ReleaseFloatingPoint();
    const std::string& Lang(int slot) const { return lang_[static_cast<size_t>(slot)]; }
    void Log(const std::string& line) const;
    // Refuses a name that would leave the game folder, with a debug-log line.
    bool NameIsSafe(const std::string& name) const;
    // An existing file of the player's that a check would otherwise touch: kept, with a
    // debug-log line.
    bool KeptAsPlayers(const std::string& name) const;

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
    bool FetchPacked(const std::string& url, const std::string& expected, bool moreServers);
    void DiscardWorkFile(const std::string& packed);
    // The launcher's own executable, by its list name.
    bool IsLauncherFile(const std::string& listName) const;
    // Small files of the repair, fetched several at once ahead of their turn.
    void FetchAhead(const TFileRecord& current);
    int32_t Transfers() const;
    std::string AheadFolder() const;
    std::string ReadyFolder() const;
    bool TakeFetchedAhead(const std::string& url, const std::string& expected);
    void EndFetchingAhead();
    std::string Unpack(const TFileRecord& rec, const std::string& staging);
    std::string DeltaUpdate(const TFileRecord& rec, const std::string& target, const std::string& staging);
    bool Install(const TFileRecord& rec, const std::string& staged, const std::string& target, bool flushed = false);
    // Logs and sets the listed dates of a checked file before it is put in place.
    void DateStaged(const TFileRecord& rec, const std::string& staged);
    bool SetReady(const TFileRecord& rec, const std::string& staged, const std::string& target);
    void InstallReady();
    // One rename (the launcher's own file: set aside as ".bak" first); error on failure.
    bool PutInPlace(const std::string& from, const std::string& target, bool self, bool flushed, int& error);
    void NoteBesideFile(const std::string& beside);
    // Removes the work files a killed run left beside game files; once the lock is held.
    void RemoveBesideFiles();
    void FileFailed(const TFileRecord& rec);
    void PreferServer(const std::string& server);
    void SaveOldList();
    // False when another launcher holds the game folder (FolderBusy) or the work folder
    // cannot hold the lock at all.
    bool LockGameFolder();
    std::string WorkFolderUnusableText() const;
    void TakeList(const std::string& packed, const std::string& signature, const std::string& list);
    // Under a key: the replacement launcher keeps it, or carries the key the list announced.
    bool ReplacementKeepsKey(const std::string& staged);
    // Under a key: a signed digest of the list covers what would be installed for the record.
    bool SignedDigestCovers(const TFileRecord& rec);
    // Asks the sizes of the files a repair will fetch before the first byte of any.
    void PlanDownloads(const std::vector<const TFileRecord*>& files);
    void Emit(TRunEvent event);
    // Takes over a cap written into the settings file from outside while this run downloads.
    void FollowLimitRateFile();

    MainView& view_;
    EventLoop& loop_;
    TLanguageArray& lang_;
    Shell& shell_;
    tConfigData* config_ = nullptr;
    const TtucConfig* skin_ = nullptr;
    TFSettings* settings_ = nullptr;
    bool ready_ = false;
    bool noServer_ = false;
    int32_t failedFiles_ = 0;
    std::vector<std::string> failedNames_;
    bool diskFull_ = false;
    std::string diskFullName_, diskFullVolume_;
    bool listSaveFailed_ = false;
    // Folders whose renames are not yet known to be on the disk.
    std::set<std::string> unsyncedFolders_;
    bool folderBusy_ = false;
    std::string listRefused_;
    // Held while the run or the full check may change files: no two launchers update one
    // game folder at once.
    FileLock folderLock_;
    bool fpHeld_ = false;
    // The settings file's date when its cap was last looked at (0: not yet).
    int64_t limitFileStamp_ = 0;
    // The repair in progress: bytes of the planned downloads, of the files done so far, and
    // of each file by list name.
    int64_t planTotal_ = 0, planDone_ = 0;
    std::map<std::string, int64_t> planSizes_;
    // Small files to fetch ahead (URL, packed digest), and what fetches them once the
    // launcher's own file is done.
    struct AheadFile {
        std::string url, key;
        int64_t estimate;
    };
    std::vector<AheadFile> aheadList_;
    std::unique_ptr<FilesAhead> ahead_;
    std::string planFile_;
    // Files unpacked and checked, waiting to be flushed together and put in place.
    struct ReadyFile {
        TFileRecord rec;
        std::string ready, target;
    };
    std::vector<ReadyFile> readyFiles_;
    std::string packedFile_;  // the packed form of the file being repaired, to unpack
    TRateMeter rate_;
};

// round(done * 100 / count) with halves to even, as the total progress text shows it.
int32_t ProgressPercent(int32_t done, int32_t count);

}  // namespace tarvos
