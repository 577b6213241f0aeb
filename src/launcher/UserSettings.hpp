#pragma once
#include <cstdint>
#include <string>

#include "config/uConfigData.hpp"
#include "config/uSettings.hpp"  // TUserSettings

namespace tarvos {

class TProxyCheck;

// The files in the work folder (TmpPath).
std::string UserSettingsFile(const std::string& tmpPath);  // "<tmpPath>\TarvosII.ini"
std::string UserDataFile(const std::string& tmpPath);      // "<tmpPath>\TarvosII.dat"

// Sets the defaults, then reads the settings file of the work folder when there is one.
// Reading is tolerant: any letter case of the keys, blanks around key and value, lines
// without "=" and unknown keys skipped, the later of two equal keys wins. A file that
// cannot be read counts as missing. The language name becomes a number through config.
void LoadIniFile(const std::string& tmpPath, TUserSettings& settings, const tConfigData& config);

// Writes the eight lines of the settings file (a ninth only when a download cap is set) with the window's current position and the
// applied language's name. The old file is replaced only once the new one is complete.
// False when it could not be written (the old file, if any, is then unchanged).
bool SaveIniFile(const std::string& tmpPath, const TUserSettings& settings, std::int32_t left,
                 std::int32_t top, const std::string& langName);

// The download cap as the settings file holds it now (0: none, or no readable file), and
// the file with only that line changed (0 removes it); without a file, the whole file of
// defaults with the language `langName` and the cap. False when it could not be written.
// They let a cap set from outside reach a launcher that is downloading.
std::int64_t ReadLimitRate(const std::string& tmpPath);
bool WriteLimitRate(const std::string& tmpPath, std::int64_t rate, const std::string& langName);

// Reads the optional packed companion file: unscrambled, unpacked and scanned, though no
// setting comes from it. False when it is missing or cannot be unpacked; never throws.
bool LoadDatConfig(const std::string& tmpPath);

// What the user may not change falls back to the configuration's choice.
void ApplyRestrictions(TUserSettings& settings, const tConfigRecord& config);

// The settings window's controls as it was closed: each applies only when enabled.
struct TSettingsChoice {
    bool AutoCloseEnabled = false;
    bool AutoCloseChecked = false;
    bool ProxyEnabled = false;
    std::int32_t ProxyIndex = 0;  // 0 = "Auto", n = the n-th configured proxy
    std::string ProxyText;        // the proxy box's text
    bool DriveTypeEnabled = false;
    std::int32_t DriveTypeIndex = 0;  // 0 "HDD", 1 "SSD"
    bool CheckTypeEnabled = false;
    std::int32_t CheckTypeIndex = 0;  // 0 hard, 1 medium, 2 light
};

// Takes the closed settings window's choices over; a particular proxy chosen there is
// probed at once (see TProxyCheck::CheckChosenProxy).
void ApplySettingsChoice(const TSettingsChoice& choice, TUserSettings& settings, TProxyCheck& proxies);

// Where the settings window opens: centred on the main window, 60 pixels up and left.
struct TWindowPlace {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
};
TWindowPlace SettingsWindowPlace(std::int32_t mainLeft, std::int32_t mainTop, std::int32_t mainWidth,
                                 std::int32_t mainHeight, std::int32_t settingsWidth,
                                 std::int32_t settingsHeight);

}  // namespace tarvos
