// Any bytes as the player's settings file (edited by hand, cut short by a crash, written by
// another program): reading must give settings that the launcher writes back and reads
// again as the same settings.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "launcher/UserSettings.hpp"
#include "platform/FileSystem.hpp"
#include "support/FuzzInput.hpp"

using namespace tarvos;

namespace {

bool Same(const TUserSettings& a, const TUserSettings& b) {
    return a.MainLeft == b.MainLeft && a.MainTop == b.MainTop && a.LangConst == b.LangConst &&
           a.AutoClose == b.AutoClose && a.SelProxy == b.SelProxy && a.DriveType == b.DriveType &&
           a.CheckMode == b.CheckMode && a.LangFolder == b.LangFolder && a.LimitRate == b.LimitRate &&
           a.Transfers == b.Transfers;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tConfigData config = [] {
        tConfigData c;
        c.ParseConfig(std::string_view("[lang=1033:English]\n0=en\n[lang=1049:Russian]\n0=ru\n"));
        return c;
    }();
    static const std::string folder = [] {
        const std::string f = FuzzScratchFile("updater");
        CreateFolderUtf8(f);
        return f;
    }();
    WriteFileBytes(UserSettingsFile(folder), data, size);

    TUserSettings first;
    LoadIniFile(folder, first, config);
    if (ReadLimitRate(folder) != first.LimitRate) std::abort();
    // The launcher writes the name of the language it applied; with none chosen in the file
    // that is the configuration's default, which is not the file's to round-trip.
    const std::string language = first.LangConst == 1049 ? "Russian" : first.LangConst == 1033 ? "English" : "";
    if (!SaveIniFile(folder, first, first.MainLeft, first.MainTop, language)) std::abort();
    TUserSettings second;
    LoadIniFile(folder, second, config);
    if (language.empty()) second.LangConst = first.LangConst;
    if (!Same(first, second)) std::abort();
    return 0;
}
