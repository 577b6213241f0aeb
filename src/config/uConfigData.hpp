#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MemoryStream.hpp"
#include "platform/Resources.hpp"

namespace tarvos {

class tDebugFile;

// A list of texts, each with an optional owned object. For a language: its name in `Item`
// and its lines in `List`; for the collection of languages: one entry per language whose
// text is the language id as written and whose object is the language.
class tMyCollection {
public:
    struct Entry {
        std::string text;
        std::unique_ptr<tMyCollection> object;
    };
    std::string Item;
    std::vector<Entry> List;

    void Clear() { List.clear(); }
};

struct tConfigRecord {
    std::string Instance;
    std::string TrayHint;
    std::string DefaultLanguage;
    bool UserCan_ChangeLanguage = false;
    bool DefaultAutoClose = false;
    bool UserCan_ChangeAutoClose = false;
    bool UserCan_ChangeProxy = false;
    bool UserCan_ChangeDriveType = false;
    bool UserCan_ChangeCheckMethod = false;
    std::string LangFolder;
    // Patterns of the files that the player owns once installed (see TOwnedFiles); empty:
    // none. A launcher that does not know the key skips it, as any unknown key.
    std::string OwnedFiles{};
};

struct tMainWindowRecord {
    std::string Caption;
    bool FadeEffect = false;
};

struct tSettingsWindowRecord {
    bool FadeEffect = false;
};

struct tUpdateServersRecord {
    bool UsePing = false;
    bool RandomSelect = false;
    std::vector<std::string> Servers;
    // The key that signs the servers' file list (64 hexadecimal digits); empty: lists are
    // taken unsigned. A launcher that does not know the setting skips it, as any unknown key.
    std::string PublicKey{};
};

struct tGameProxysRecord {
    bool UseProxy = false;
    std::int32_t Port = 0;
    std::vector<std::string> Servers;  // "name|host|settings file"
};

// The 101 language texts every window shows, slots 0 to 100.
using TLanguageArray = std::array<std::string, 101>;
TLanguageArray& LanguageTexts();

// The configuration record: everything the operator's package sets.
class tConfigData {
public:
    tMyCollection LanguageCollection;
    std::string LangName;
    std::int32_t LangNum = 0;
    tConfigRecord Config;
    tMainWindowRecord MainWindow;
    tSettingsWindowRecord SettingsWindow;
    tUpdateServersRecord UpdateServers;
    tGameProxysRecord ProxyServers;
    tDebugFile* debug_file = nullptr;

    // Appends the unpacked configuration package from the resource "blank" to `stream`.
    // Every failure is quiet and leaves `stream` as it was, so it is either unchanged or holds
    // the complete package.
    void LoadConfig(MemoryStream& stream, const Resources& resources = OwnResources());

    // Reads the configuration text from the stream's position to its end; true when the text
    // had at least one line.
    bool ParseConfig(MemoryStream& stream);
    bool ParseConfig(std::string_view bytes);

    void SetLanguageArray(std::int32_t langid, TLanguageArray& arr);
    std::int32_t GetLanguageIdByName(const std::string& name) const;

private:
    void AssignKey(const std::string& section, const std::string& key, const std::string& value);
};

}  // namespace tarvos
