#include "launcher/uMainForm.hpp"

#include "inventory/SafeName.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {
std::string FileNameOf(const std::string& path) {
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}
}  // namespace

TFMain::TFMain(MainView& view, EventLoop& loop, TLanguageArray& lang, Shell& shell, tDebugFile* debug)
    : debug_file(debug),
      DM(std::make_unique<TDownloadMultiThread>(loop)),
      NewFileList(std::make_unique<TFileList>(true)),
      OldFileList(std::make_unique<TFileList>(true)),
      Required(std::make_unique<TFileList>(true)),
      CheckAll(std::make_unique<TFileList>(true)),
      ExeName(FileNameOf(ExecutablePath())),
      OnEndProcess([](int code) { EndProcessNow(code); }),
      MainTimer(loop, 1000),
      MsgTimer(loop, 100),
      MsgTimer2(loop, 10000),
      FadeTimer(loop, 100),
      view_(view),
      loop_(loop),
      lang_(lang),
      shell_(shell) {
    DM->SetThreads(6);
    DM->OnProgress = [this](TDownloadMultiThread& s, int64_t loaded, int64_t size) { UpdateDMProgress(s, loaded, size); };
    OnSaveSettings = [this] { SaveIniFile(); };
    MainTimer.OnTimer([this] { MainTimerTimer(); });
    MsgTimer.OnTimer([this] { MsgTimerTimer(); });
    MsgTimer2.OnTimer([this] { MsgTimer2Timer(); });
    FadeTimer.OnTimer([this] { FadeTimerTimer(); });
}

TFMain::~TFMain() { ReleaseFloatingPoint(); }

void TFMain::Log(const std::string& line) const {
    if (debug_file) debug_file->WriteErr(line);
}

bool TFMain::NameIsSafe(const std::string& name) const {
    if (IsSafeListName(name)) return true;
    Log("Unsafe name refused: " + name);
    return false;
}

void TFMain::DecodeSettings() {
    const std::string drive = LowerUser(DriveType);
    if (drive == "hdd") WorkerCount = 1;
    if (drive == "ssd") WorkerCount = 3;
    const std::string mode = LowerUser(CheckMode);
    if (mode == "hard: md5 hash") Mode = TCheckMode::Hard;
    if (mode == "medium: size & date") Mode = TCheckMode::Medium;
    if (mode == "light: previous list") Mode = TCheckMode::Light;
}

}  // namespace tarvos
