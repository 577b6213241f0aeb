#include "ui/win32/Win32Windows.hpp"

#include <windows.h>

#include "config/uSettings.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/EventLoop.hpp"
#include "platform/Shell.hpp"
#include "platform/SingleInstance.hpp"
#include "ui/win32/GdiText.hpp"
#include "ui/win32/Win32MainWindow.hpp"
#include "ui/win32/Win32SettingsWindow.hpp"

namespace tarvos {

namespace {

constexpr int kSettleMs = 10000, kSettleStepMs = 100;

// Runs a show operation with the minimise/restore animation off, as it was before after.
void WithoutAnimation(const std::function<void()>& show) {
    ANIMATIONINFO info{sizeof info, 0};
    const bool read = SystemParametersInfoW(SPI_GETANIMATION, sizeof info, &info, 0) != FALSE;
    const bool wasOn = read && info.iMinAnimate != 0;
    if (wasOn) {
        info.iMinAnimate = 0;
        SystemParametersInfoW(SPI_SETANIMATION, sizeof info, &info, 0);
    }
    show();
    if (wasOn) {
        info.iMinAnimate = 1;
        SystemParametersInfoW(SPI_SETANIMATION, sizeof info, &info, 0);
    }
}

void BringForward(HWND found) {
    HWND top = found;
    for (HWND owner = GetWindow(top, GW_OWNER); owner && owner != GetDesktopWindow(); owner = GetWindow(top, GW_OWNER))
        top = owner;
    WithoutAnimation([&] { ShowWindow(top, IsIconic(top) ? SW_RESTORE : SW_SHOW); });
    SetForegroundWindow(top);
    HWND popup = GetLastActivePopup(top);
    if (!popup) popup = top;
    if (popup != top && IsWindowVisible(popup) && IsWindowEnabled(popup)) {
        SetForegroundWindow(popup);
    } else {
        ShowWindow(popup, SW_SHOW);
        SetForegroundWindow(popup);
    }
}

}  // namespace

Win32Windows::Win32Windows(std::vector<std::string> args) : args_(std::move(args)) {}

Win32Windows::~Win32Windows() {
    // The controllers go before the windows they paint into.
    settings_.reset();
    main_.reset();
    settingsWindow_.reset();
    mainWindow_.reset();
}

bool Win32Windows::ActivateOtherInstance(StartupState& state) {
    const std::string& instanceName = state.instanceName;
    const std::wstring title = WideText(instanceName);
    // A copy holding the guard without a titled window is either still starting (its window
    // comes) or ending after it started its own replacement (its guard goes): wait for one.
    for (int waited = 0;; waited += kSettleStepMs) {
        if (HWND found = FindWindowW(nullptr, title.c_str())) {
            BringForward(found);
            return true;
        }
        if (AcquireSingleInstance(instanceName)) return false;
        if (waited >= kSettleMs) return true;
        Sleep(kSettleStepMs);
    }
}

void Win32Windows::CreateWindows(StartupState& s) {
    EventLoop& loop = MainLoop();
    mainWindow_ = std::make_unique<Win32MainWindow>(loop, s.instanceName);
    main_ = std::make_unique<TFMain>(*mainWindow_, loop, LanguageTexts(), SystemShell(), nullptr);
    main_->OnSaveSettings = [this, name = s.instanceName] { LeaveForReplacement(name); };
    main_->Attach(*s.config, *s.skin);
    mainWindow_->Connect(*main_);
    main_->FormCreate(args_);
    s.skin->MainWindow.SetDataToForm(mainWindow_->Form());
    mainWindow_->FormChanged();
    if (s.debug) main_->debug_file = s.debugFile.get();
    mainWindow_->SetTitle(s.instanceName);
    if (!s.config->Config.TrayHint.empty()) mainWindow_->SetTrayHint(s.config->Config.TrayHint);

    settingsWindow_ = std::make_unique<Win32SettingsWindow>(loop, mainWindow_->Handle());
    settings_ = std::make_unique<TFSettings>(
        TFSettings::Deps{*s.config, s.skin->ConfigWindow, main_->User, LanguageTexts(), *settingsWindow_, loop});
    s.skin->ConfigWindow.SetDataToForm(settings_->Form);
    settingsWindow_->OutlineChanged(settings_->Form);
    settingsWindow_->FormChanged(settings_->Form);
    main_->Attach(*s.config, *s.skin, settings_.get());
}

void Win32Windows::LeaveForReplacement(const std::string& instanceName) {
    main_->SaveIniFile();
    // The replacement starts while this copy is still ending: it must find neither this
    // window by its title nor the name still held, or it ends itself as a second copy and no
    // launcher is left running.
    mainWindow_->LeaveInstance();
    ReleaseSingleInstance(instanceName);
}

int Win32Windows::Run() {
    EventLoop& loop = MainLoop();
    mainWindow_->ShowFirst();
    main_->FormShow();
    // Shown where it was placed; a window placed nowhere (a failed first showing) still shows.
    mainWindow_->SetPosition(mainWindow_->Left(), mainWindow_->Top());
    while (!loop.Terminated()) loop.WaitAndProcess();
    return 0;
}

}  // namespace tarvos
