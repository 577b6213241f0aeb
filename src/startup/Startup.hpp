#pragma once
#include <memory>
#include <string>
#include <vector>

#include "config/TarvosUpdateConfig.hpp"
#include "config/uConfigData.hpp"
#include "platform/Resources.hpp"
#include "startup/tDebugFile.hpp"

namespace tarvos {

// Everything start-up creates for the life of the process.
struct StartupState {
    bool debug = false;
    std::unique_ptr<tDebugFile> debugFile;
    std::unique_ptr<tConfigData> config;
    std::unique_ptr<TtucConfig> skin;
    std::string instanceName = "AutoUpdater";
    std::vector<std::string> args;  // the command-line arguments after the program name
};

// The half of start-up that needs windows; each front end supplies it.
class StartupWindows {
public:
    virtual ~StartupWindows() = default;
    // The single-instance check: true when another copy titled `state.instanceName` runs (it
    // has then been brought forward and this process ends).
    virtual bool ActivateOtherInstance(StartupState& state) = 0;
    // Creates the main and the settings window and applies their skins.
    virtual void CreateWindows(StartupState& state) = 0;
    // Runs until the launcher is told to quit; returns the exit code.
    virtual int Run() = 0;
};

// True when the first argument is "-debug" in any letter case; later arguments do not count.
bool DebugRequested(const std::vector<std::string>& args);

// Seeds the random generator, reads the debug flag, creates the log, the configuration record
// and the skin model, and loads and reads the package: both skin sections, then the text.
// A package whose sections are damaged counts as no configuration at all.
StartupState PrepareStartup(const std::vector<std::string>& args, const Resources& resources);

// The whole start-up sequence; `args` are the command-line arguments after the program name.
int RunStartup(const std::vector<std::string>& args, const Resources& resources, StartupWindows& windows);

}  // namespace tarvos
