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
    // the tray); a copy still starting, before its window has its title, holds the instance
    // guard and counts as running as well.
    bool ActivateOtherInstance(const std::string& instanceName) override;
    void CreateWindows(StartupState& state) override;
    int Run() override;

private:
    std::vector<std::string> args_;
    std::unique_ptr<Win32MainWindow> mainWindow_;
    std::unique_ptr<Win32SettingsWindow> settingsWindow_;
    std::unique_ptr<TFMain> main_;
    std::unique_ptr<TFSettings> settings_;
};

}  // namespace tarvos
