#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "config/SettingsView.hpp"
#include "config/uSettings.hpp"
#include "launcher/uMainForm.hpp"
#include "ui/console/ConsoleView.hpp"
#include "startup/Startup.hpp"

namespace tarvos {

class JsonEvents;

// Exit statuses of tarvos-cli, so that a script can tell the outcomes apart.
enum ConsoleExit : int {
    kExitUpToDate = 0,      // the game folder matches the server's list (also: another copy runs)
    kExitError = 1,         // the run could not be carried out
    kExitUsage = 2,         // unknown option, or a --settings choice that cannot be made
    kExitNotRepaired = 3,   // some files could not be repaired
    kExitNoServer = 4,      // no update server answered (the game can still be started)
    kExitNoConfig = 5,      // the launcher carries no usable configuration package
    kExitInterrupted = 130  // stopped by Ctrl-C, SIGINT or SIGTERM (settings saved)
};

// The console program's options after the launcher's own first argument.
struct ConsoleOptions {
    bool startGame = false;
    bool checkAll = false;
    bool quiet = false;
    bool json = false;  // one JSON object per line instead of text
    bool help = false;
    int64_t limitRate = -1;  // --limit-rate in bytes per second (0: no cap); -1: not given
    int32_t transfers = 0;   // --transfers: transfers in flight at once; 0: not given
    std::vector<std::pair<std::string, std::string>> settings;  // --settings KEY=VALUE, in order
    std::string error;                                          // why the options are unusable
};
ConsoleOptions ParseConsoleOptions(const std::vector<std::string>& args);
// The text of tarvos-cli --help.
std::string ConsoleUsage();

// The settings window without a window: its modal showing makes the --settings choices on
// the form the way a user would, then closes, so the main window applies them as usual.
class ConsoleSettingsView : public SettingsView {
public:
    std::vector<std::pair<std::string, std::string>> choices;
    TFSettings* window = nullptr;
    std::vector<std::string> errors;  // choices that could not be made

    void FormChanged(const TForm&) override {}
    void OutlineChanged(const TForm&) override {}
    void BoundsChanged(const TForm&) override {}
    TModalResult ShowModal(TForm& form) override;
    void CloseModal(TModalResult) override {}
};

// The console front end of start-up: the real main window controller over the console view.
class ConsoleWindows : public StartupWindows {
public:
    explicit ConsoleWindows(std::ostream& out, ConsoleOptions options = {}, bool terminal = false);
    ~ConsoleWindows() override;

    // Another copy holds the instance name: this one ends at once.
    bool ActivateOtherInstance(StartupState& state) override;
    void CreateWindows(StartupState& state) override;
    // The run, then the options; closes as the close button does and returns the status.
    int Run() override;
    // Ctrl-C and the like: presses the close button through the loop; callable from any thread.
    void Interrupt();
    // The last line of the JSON output, however the run ended; later calls write nothing.
    void End(int code, const std::vector<std::string>& failed = {});

private:
    void ReportEnding(int code);
    int RunStatus(bool noList) const;
    void OnRunEvent(const TRunEvent& event);
    ConsoleOptions options_;
    ConsoleView view_;
    std::unique_ptr<JsonEvents> json_;  // only with --json
    ConsoleSettingsView settingsView_;
    std::unique_ptr<TFSettings> settings_;
    std::unique_ptr<TFMain> main_;
    bool noConfig_ = false;
    bool runEnded_ = false;
    std::atomic<int> interrupts_{0};
    std::chrono::steady_clock::time_point lastProgress_{};
};

}  // namespace tarvos
