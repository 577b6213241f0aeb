// The programs behind bench/pipeline.sh: the launcher's checks run on a prepared game folder
// with a view that shows nothing, timed by the wall clock, with the main thread's CPU time.
//   bench_pipeline fullcheck GAME LIST WORKERS   hard-mode full check of the files in LIST
//   bench_pipeline hash GAME LIST WORKERS        the hash calculator alone over the same files
//   bench_pipeline startup GAME MODE WORKERS     start-up check of GAME\updater.lst
//   bench_pipeline list GAME NAMES               list lines with the launcher's size and date readings
//   bench_pipeline download URL FILE             one download by the launcher's downloader
// Each prints "<wall seconds> <main-thread CPU seconds> <files left to repair>".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>

#include "config/uConfigData.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/FileTimes.hpp"
#include "platform/Text.hpp"

using namespace tarvos;

namespace {

class NullView final : public MainView {
public:
    void SetText(MainLabel, const std::string&) override {}
    std::string Text(MainLabel) const override { return {}; }
    void SetIndicator(MainIndicator i, const IndicatorState& s) override { states_[i] = s; }
    IndicatorState Indicator(MainIndicator i) const override {
        auto it = states_.find(i);
        return it == states_.end() ? IndicatorState{} : it->second;
    }
    int Width(MainIndicator) const override { return 500; }
    void SetEnabled(MainButton, bool) override {}
    void SetVisible(MainButton, bool) override {}
    void SetCursor(MainButton, MainCursor) override {}
    void Repaint(MainLabel) override {}
    void Repaint(MainIndicator) override {}

private:
    std::map<MainIndicator, IndicatorState> states_;
};

double ThreadCpu() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Setup {
    NullView view;
    TLanguageArray lang;
    TFMain main{view, MainLoop(), lang, SystemShell(), nullptr};
    Setup(const std::string& game, const std::string& mode, int workers) {
        main.MainPath = game;
        main.TmpPath = game + "\\updater";
        main.CheckMode = mode;
        main.DriveType = workers == 3 ? "SSD" : "HDD";
        main.ExeName = "tarvos.exe";
    }
};

int Report(double wall, double cpu, int left) {
    std::printf("%.4f %.4f %d\n", wall, cpu, left);
    return 0;
}

int FullCheck(const std::string& game, const std::string& list, int workers) {
    Setup s(game, "Hard: MD5 Hash", workers);
    s.main.NewFileList->LoadFromFile(list);
    s.main.CheckAll->LoadFromFile(list);
    const double t0 = Now(), c0 = ThreadCpu();
    s.main.CheckingAllFiles();
    return Report(Now() - t0, ThreadCpu() - c0, 0);
}

// The wait alone: the hash calculator over the files of LIST, with the pipeline's callback.
int Hash(const std::string& game, const std::string& list, int workers) {
    Setup s(game, "Hard: MD5 Hash", workers);
    TFileList files(true);
    files.LoadFromFile(list);
    TMHThreads hasher;
    hasher.OnThreadFileProceed = [&](TMHThreads& t, const std::string& f, const std::string& h, int64_t size,
                                     double date) { s.main.OneHashCheched(t, f, h, size, date); };
    const double t0 = Now(), c0 = ThreadCpu();
    auto measured = hasher.CalculateHash(game, files, workers);
    const double wall = Now() - t0, cpu = ThreadCpu() - c0;
    int differ = 0;
    for (int32_t i = 0; i < files.Count(); ++i)
        if (measured->GetItemByName(files.GetItemByID(i)->Content.Name)->Content.Hash !=
            files.GetItemByID(i)->Content.Hash)
            ++differ;
    return Report(wall, cpu, differ);
}

int Startup(const std::string& game, const std::string& mode, int workers) {
    Setup s(game, mode, workers);
    const double t0 = Now(), c0 = ThreadCpu();
    s.main.CheckingRequiredFiles();
    return Report(Now() - t0, ThreadCpu() - c0, s.main.Required->Count());
}

// List lines for the files named in NAMES (one relative path a line), with the sizes and
// dates the launcher reads, so that a medium check finds nothing to repair.
int List(const std::string& game, const std::string& names) {
    for (std::string name : ReadTextLines(names)) {
        for (char& c : name)
            if (c == '/') c = '\\';
        const auto entry = ReadSizeAndDate(game + "\\" + name);
        if (!entry) continue;
        TFileRecord r{"\\" + name, std::string(kEmptyDigest), std::string(kEmptyDigest), entry->Size,
                      entry->Date};
        std::printf("%s\r\n", FormatFileListLine(r).c_str());
    }
    return 0;
}

int Download(const std::string& url, const std::string& file) {
    Setup s(".", "Hard: MD5 Hash", 1);
    const double t0 = Now(), c0 = ThreadCpu();
    s.main.DM->GetFile(url, file);
    return Report(Now() - t0, ThreadCpu() - c0, s.main.DM->HaveError ? 1 : 0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    try {
        if (cmd == "fullcheck" && argc == 5) return FullCheck(argv[2], argv[3], std::atoi(argv[4]));
        if (cmd == "hash" && argc == 5) return Hash(argv[2], argv[3], std::atoi(argv[4]));
        if (cmd == "startup" && argc == 5) return Startup(argv[2], argv[3], std::atoi(argv[4]));
        if (cmd == "list" && argc == 4) return List(argv[2], argv[3]);
        if (cmd == "download" && argc == 4) return Download(argv[2], argv[3]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_pipeline: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr,
                 "usage: bench_pipeline fullcheck GAME LIST WORKERS | startup GAME MODE WORKERS | download "
                 "URL FILE\n");
    return 2;
}
