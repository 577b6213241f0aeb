#pragma once
#include <memory>
#include <string>
#include <vector>

#include "startup/Startup.hpp"

namespace tarvos {

class TFMain;
class TFSettings;
class Win32MainWindow;
class Win32SettingsWindow;

// The windowed front end of start-up: the main window and the settings window.
class Win32Windows final : public StartupWindows {
public:
    explicit Win32Windows(std::vector<std::string> args);
    ~Win32Windows() override;

    // A window titled with the instance name is brought forward (shown again when it hides in
    // the tray). Each copy also holds an instance guard from here on, so that two copies
    // started together never update the same folder at once; a guard held without a titled
    // window is waited on for a while (a copy still starting, or one just ending).
    bool ActivateOtherInstance(StartupState& state) override;
    void CreateWindows(StartupState& state) override;
    int Run() override;
    // The launcher is about to start its replacement (after a self-update) and end: the
    // settings are saved, and the window and the instance name are given up.
    void LeaveForReplacement(const std::string& instanceName);

private:
    std::vector<std::string> args_;
    std::unique_ptr<Win32MainWindow> mainWindow_;
    std::unique_ptr<Win32SettingsWindow> settingsWindow_;
    std::unique_ptr<TFMain> main_;
    std::unique_ptr<TFSettings> settings_;
};

}  // namespace tarvos
