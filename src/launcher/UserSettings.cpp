#include "launcher/UserSettings.hpp"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <thread>
#include <system_error>
#include <vector>

#include "config/IntegerReading.hpp"
#include "launcher/GameProxies.hpp"
#include "platform/FileLock.hpp"
#include "platform/FileStream.hpp"
#include "platform/FileSystem.hpp"
#include "platform/MemoryStream.hpp"
#include "platform/Text.hpp"
#include "transfer/RateLimiter.hpp"
#include "transfer/UpdaterDecompress.hpp"

namespace tarvos {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDriveTypes[] = {"HDD", "SSD"};
constexpr const char* kCheckModes[] = {"Hard: MD5 Hash", "Medium: Size & Date", "Light: Previous List"};
// The companion file's scrambling key.
constexpr std::string_view kDatKey = "TarvosUserData";
// Nothing in the companion file is used: an unpacked text beyond this is not read on.
constexpr size_t kDatTextLimit = 1 << 20;

bool FileExists(const std::string& name) {
    std::error_code ec;
    return fs::is_regular_file(PathFromUtf8(name), ec);
}

// Window positions: a decimal number with an optional sign, else -1 (centred). Unlike the
// skin's numbers there is no hexadecimal form: the launcher writes decimal only, and a hand
// edit like "$64" is not a place on the screen.
std::int32_t PositionValue(const std::string& value) {
    std::string_view digits = value;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return -1;
    const auto n = ReadInteger(value);
    if (!n || *n < INT32_MIN || *n > INT32_MAX) return -1;
    return static_cast<std::int32_t>(*n);
}

void AssignSetting(TUserSettings& s, const std::string& key, const std::string& value,
                   const tConfigData& config) {
    if (key == "language") {
        s.LangConst = config.GetLanguageIdByName(LowerUser(value));
    } else if (key == "autoclose") {
        s.AutoClose = LowerUser(value) == "true";
    } else if (key == "selproxy") {
        s.SelProxy = LowerUser(value);
    } else if (key == "drivetype") {
        s.DriveType = value;
    } else if (key == "checkmode") {
        s.CheckMode = value;
    } else if (key == "langfolder") {
        s.LangFolder = value;
    } else if (key == "left") {
        s.MainLeft = PositionValue(value);
    } else if (key == "top") {
        s.MainTop = PositionValue(value);
    } else if (key == "limitrate") {
        s.LimitRate = ParseRate(value).value_or(0);
    } else if (key == "transfers") {
        const auto n = ReadInteger(value);
        s.Transfers = n && *n >= 1 && *n <= kMaxTransfers ? static_cast<std::int32_t>(*n) : 0;
    }
}

// The settings file has more than one writer: the launcher saving its settings, a second
// copy handing a download cap over, a launcher of another login session. One writes at a
// time, by the lock file beside it; a holder that does not let go within the limit is
// taken for stuck, and the write fails rather than waiting on.
class SettingsWriteLock {
public:
    explicit SettingsWriteLock(const std::string& settingsFile) {
        const auto until = std::chrono::steady_clock::now() + kLimit;
        // A lock file that cannot even be made (no folder) is no one's: no wait for it.
        while (!lock_.TryAcquire(settingsFile + ".lock") && FileExists(settingsFile + ".lock") &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    bool Held() const { return lock_.Held(); }

private:
    static constexpr std::chrono::seconds kLimit{2};
    FileLock lock_;
};

// Collects unpacked text up to a limit and refuses more, which ends the unpacking.
class CappedText final : public Stream {
public:
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t count) override {
        if (count > kDatTextLimit - text.size()) return 0;
        text.append(static_cast<const char*>(buffer), count);
        return count;
    }
    int64_t Seek(int64_t, SeekOrigin) override { return Size(); }
    int64_t Position() const override { return Size(); }
    int64_t Size() const override { return static_cast<int64_t>(text.size()); }

    std::string text;
};

}  // namespace

std::string UserSettingsFile(const std::string& tmpPath) { return tmpPath + "\\TarvosII.ini"; }
std::string UserDataFile(const std::string& tmpPath) { return tmpPath + "\\TarvosII.dat"; }

void LoadIniFile(const std::string& tmpPath, TUserSettings& settings, const tConfigData& config) {
    settings = TUserSettings{};
    const std::string name = UserSettingsFile(tmpPath);
    if (!FileExists(name)) return;
    std::vector<std::string> lines;
    try {
        lines = ReadTextLines(name);
    } catch (const std::exception&) {
        return;  // unreadable: the defaults, as for a missing file
    }
    for (const auto& raw : lines) {
        const std::string line = TrimText(raw);
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        AssignSetting(settings, LowerUser(TrimText(line.substr(0, eq))), TrimText(line.substr(eq + 1)),
                      config);
    }
}

static bool WriteSettingsLines(const std::string& tmpPath, const std::vector<std::string>& lines);

static std::vector<std::string> IniLines(const TUserSettings& s, std::int32_t left, std::int32_t top,
                                         const std::string& langName) {
    std::vector<std::string> lines = {
        "Left = " + std::to_string(left), "Top = " + std::to_string(top),
        "Language = " + langName,         std::string("AutoClose = ") + (s.AutoClose ? "True" : "False"),
        "SelProxy = " + s.SelProxy,       "DriveType = " + s.DriveType,
        "CheckMode = " + s.CheckMode,     "LangFolder = " + s.LangFolder,
    };
    // Only a player who caps his downloads gets the extra line: everyone else keeps the
    // file every launcher writes, and one that does not know the key skips it.
    if (s.LimitRate > 0) lines.push_back("LimitRate = " + FormatRate(s.LimitRate));
    if (s.Transfers > 0) lines.push_back("Transfers = " + std::to_string(s.Transfers));
    return lines;
}

bool SaveIniFile(const std::string& tmpPath, const TUserSettings& s, std::int32_t left, std::int32_t top,
                 const std::string& langName) {
    const SettingsWriteLock lock(UserSettingsFile(tmpPath));
    return lock.Held() && WriteSettingsLines(tmpPath, IniLines(s, left, top, langName));
}

namespace {

std::optional<std::pair<std::string, std::string>> KeyAndValue(const std::string& raw) {
    const std::string line = TrimText(raw);
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return std::nullopt;
    return std::make_pair(LowerUser(TrimText(line.substr(0, eq))), TrimText(line.substr(eq + 1)));
}

std::vector<std::string> SettingsLines(const std::string& tmpPath) {
    const std::string name = UserSettingsFile(tmpPath);
    if (!FileExists(name)) return {};
    try {
        return ReadTextLines(name);
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace

std::int64_t ReadLimitRate(const std::string& tmpPath) {
    std::int64_t rate = 0;
    for (const auto& raw : SettingsLines(tmpPath)) {
        const auto kv = KeyAndValue(raw);
        if (kv && kv->first == "limitrate") rate = ParseRate(kv->second).value_or(0);
    }
    return rate;
}

bool WriteLimitRate(const std::string& tmpPath, std::int64_t rate, const std::string& langName) {
    // Read and written under one lock: a save in between would be lost.
    const SettingsWriteLock lock(UserSettingsFile(tmpPath));
    if (!lock.Held()) return false;
    if (!FileExists(UserSettingsFile(tmpPath))) {
        TUserSettings defaults;
        defaults.LimitRate = std::max<std::int64_t>(rate, 0);
        return WriteSettingsLines(tmpPath, IniLines(defaults, -1, -1, langName));
    }
    std::vector<std::string> lines;
    for (const auto& raw : SettingsLines(tmpPath)) {
        const auto kv = KeyAndValue(raw);
        if (!kv || kv->first != "limitrate") lines.push_back(raw);
    }
    if (rate > 0) lines.push_back("LimitRate = " + FormatRate(rate));
    return WriteSettingsLines(tmpPath, lines);
}

static bool WriteSettingsLines(const std::string& tmpPath, const std::vector<std::string>& lines) {
    // Written beside the file and renamed over it: a full disk or a failed write never
    // leaves the user with a truncated settings file. The name is this write's own, so a
    // writer that ignores the lock (an older launcher) never writes into the same file.
    const std::string name = UserSettingsFile(tmpPath);
    thread_local std::mt19937_64 random{std::random_device{}() ^
                                  static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
    char unique[24];
    std::snprintf(unique, sizeof unique, ".%016llx.new", static_cast<unsigned long long>(random()));
    const std::string staged = name + unique;
    std::error_code ec;
    try {
        WriteTextLines(staged, lines);
    } catch (const std::exception&) {
        fs::remove(PathFromUtf8(staged), ec);
        return false;
    }
    if (ReplaceFileUtf8(staged, name)) return true;
    fs::remove(PathFromUtf8(staged), ec);
    return false;
}

bool LoadDatConfig(const std::string& tmpPath) {
    const std::string name = UserDataFile(tmpPath);
    if (!FileExists(name)) return false;
    CappedText text;
    try {
        MemoryStream packed;
        {
            FileStream file(name, FileMode::OpenRead);
            if (file.Size() > static_cast<int64_t>(kDatTextLimit)) return false;
            packed.SetSize(file.Size());
            file.ReadBuffer(packed.Bytes().data(), packed.Bytes().size());
        }
        XorStream(packed, kDatKey);
        packed.Seek(0, SeekOrigin::Begin);
        BZDecompressStream(packed, text);
    } catch (const std::exception&) {
        return false;  // nothing in it takes effect, so a damaged file costs nothing
    }
    // Its sections and comments hold nothing the launcher applies yet: unpacking it whole
    // is all there is to reading it.
    return true;
}

void ApplyRestrictions(TUserSettings& s, const tConfigRecord& config) {
    if (!config.UserCan_ChangeProxy) s.SelProxy = "Auto";
    if (!config.UserCan_ChangeDriveType) s.DriveType = kDriveTypes[0];
    if (!config.UserCan_ChangeCheckMethod) s.CheckMode = kCheckModes[0];
    if (!config.UserCan_ChangeAutoClose) s.AutoClose = config.DefaultAutoClose;
}

void ApplySettingsChoice(const TSettingsChoice& c, TUserSettings& s, TProxyCheck& proxies) {
    if (c.AutoCloseEnabled) s.AutoClose = c.AutoCloseChecked;
    if (c.ProxyEnabled) {
        s.SelProxy = c.ProxyText;
        // "Auto" changes the choice only: the proxy of the last run stays in use.
        proxies.CheckChosenProxy(c.ProxyIndex);
    } else {
        s.SelProxy = "Auto";
    }
    if (c.DriveTypeEnabled && c.DriveTypeIndex >= 0 && c.DriveTypeIndex < 2)
        s.DriveType = kDriveTypes[c.DriveTypeIndex];
    if (c.CheckTypeEnabled && c.CheckTypeIndex >= 0 && c.CheckTypeIndex < 3)
        s.CheckMode = kCheckModes[c.CheckTypeIndex];
}

TWindowPlace SettingsWindowPlace(std::int32_t mainLeft, std::int32_t mainTop, std::int32_t mainWidth,
                                 std::int32_t mainHeight, std::int32_t settingsWidth,
                                 std::int32_t settingsHeight) {
    return {mainLeft + mainWidth / 2 - settingsWidth / 2 - 60,
            mainTop + mainHeight / 2 - settingsHeight / 2 - 60};
}

}  // namespace tarvos
