#include "config/uConfigData.hpp"

#include <algorithm>
#include <cctype>
#include <map>

#include "config/IntegerReading.hpp"
#include "platform/Text.hpp"

namespace tarvos {

TLanguageArray& LanguageTexts() {
    static TLanguageArray texts;
    return texts;
}

namespace {

bool SameTextAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string UpTo(std::string_view s, char stop) { return std::string(s.substr(0, s.find(stop))); }

// The name of the section a header line opens, trimmed and lower-cased.
std::string SectionName(std::string_view line) {
    std::string_view inner = line.substr(1);
    return LowerUser(TrimText(UpTo(inner, inner.find('=') != std::string_view::npos ? '=' : ']')));
}

// "[lang=ID:NAME]": id and name exactly as written.
std::unique_ptr<tMyCollection> NewLanguage(std::string_view line, std::string& id) {
    size_t eq = line.find('=');
    std::string_view rest = eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1);
    auto language = std::make_unique<tMyCollection>();
    size_t colon = rest.find(':');
    if (colon == std::string_view::npos) {
        id.clear();
        language->Item = UpTo(rest, ']');
    } else {
        id = std::string(rest.substr(0, colon));
        language->Item = UpTo(rest.substr(colon + 1), ']');
    }
    return language;
}

// A value in square brackets keeps its inner blanks; only then is a final "]" dropped.
std::string UnbracketValue(std::string value) {
    if (value.empty() || value.front() != '[') return value;
    value.erase(0, 1);
    if (!value.empty() && value.back() == ']') value.pop_back();
    return value;
}

}  // namespace

void tConfigData::AssignKey(const std::string& section, const std::string& key, const std::string& value) {
    bool on = LowerUser(TrimText(value)) == "true";
    std::map<std::string, std::string*> texts;
    std::map<std::string, bool*> switches;
    if (section == "config") {
        texts = {{"instance", &Config.Instance}, {"trayhint", &Config.TrayHint},
                 {"defaultlanguage", &Config.DefaultLanguage}, {"language_folder", &Config.LangFolder},
                 {"ownedfiles", &Config.OwnedFiles}};
        switches = {{"usercan_changelanguage", &Config.UserCan_ChangeLanguage},
                    {"defaultautoclose", &Config.DefaultAutoClose},
                    {"usercan_changeautoclose", &Config.UserCan_ChangeAutoClose},
                    {"usercan_changeproxy", &Config.UserCan_ChangeProxy},
                    {"usercan_changedrivetype", &Config.UserCan_ChangeDriveType},
                    {"usercan_changecheckmethod", &Config.UserCan_ChangeCheckMethod}};
    } else if (section == "mainwindow") {
        texts = {{"caption", &MainWindow.Caption}};
        switches = {{"fadeeffect", &MainWindow.FadeEffect}};
    } else if (section == "settingwindow") {
        switches = {{"fadeeffect", &SettingsWindow.FadeEffect}};
    } else if (section == "updateservers") {
        switches = {{"useping", &UpdateServers.UsePing}, {"randomselect", &UpdateServers.RandomSelect}};
        texts = {{"publickey", &UpdateServers.PublicKey}};
        if (key == "url") UpdateServers.Servers.push_back(TrimText(value));
    } else if (section == "gameproxys") {
        switches = {{"useproxy", &ProxyServers.UseProxy}};
        if (key == "port") ProxyServers.Port = ReadInteger32(value);
        if (key == "proxy") ProxyServers.Servers.push_back(TrimText(value));
    }
    if (auto t = texts.find(key); t != texts.end()) *t->second = value;
    if (auto b = switches.find(key); b != switches.end()) *b->second = on;
}

bool tConfigData::ParseConfig(std::string_view bytes) {
    auto lines = SplitLines(DecodeText(bytes));
    std::string section;
    tMyCollection* language = nullptr;
    for (const auto& raw : lines) {
        std::string line = TrimText(raw);
        if (line.empty()) continue;
        if (line.front() == '[') {
            section = SectionName(line);
            if (section == "lang") {
                std::string id;
                auto created = NewLanguage(line, id);
                language = created.get();
                LanguageCollection.List.push_back({id, std::move(created)});
            }
            continue;
        }
        if (section == "lang") {
            if (language) language->List.push_back({line, nullptr});
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = LowerUser(TrimText(std::string_view(line).substr(0, eq)));
        AssignKey(section, key, UnbracketValue(TrimText(std::string_view(line).substr(eq + 1))));
    }
    return !lines.empty();
}

void tConfigData::SetLanguageArray(std::int32_t langid, TLanguageArray& arr) {
    std::string wanted =
        std::to_string(Config.UserCan_ChangeLanguage ? langid : GetLanguageIdByName(Config.DefaultLanguage));
    if (LanguageCollection.List.empty()) return;
    auto& entries = LanguageCollection.List;
    auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return SameTextAscii(e.text, wanted); });
    const auto& entry = it != entries.end() ? *it : entries.front();
    LangNum = ReadInteger32(entry.text);
    LangName = entry.object->Item;
    const std::int32_t highest = static_cast<std::int32_t>(arr.size()) - 1;
    for (const auto& item : entry.object->List) {
        const std::string& line = item.text;
        size_t eq = line.find('=');
        std::int32_t slot = eq == std::string::npos ? 0 : ReadInteger32(TrimText(std::string_view(line).substr(0, eq)));
        if (slot < 0 || slot > highest) continue;
        std::string text = eq == std::string::npos ? TrimText(line) : TrimText(std::string_view(line).substr(eq + 1));
        if (text.empty()) continue;
        if (text.front() == '[') text.erase(0, 1);
        if (!text.empty() && text.back() == ']') text.pop_back();
        arr[slot] = text;
    }
}

std::int32_t tConfigData::GetLanguageIdByName(const std::string& name) const {
    std::string wanted = LowerUser(TrimText(name));
    const auto& entries = LanguageCollection.List;
    for (const auto& e : entries) {
        if (LowerUser(e.object->Item) != wanted) continue;
        if (std::int32_t id = ReadInteger32(e.text)) return id;
        break;
    }
    return entries.empty() ? 0 : ReadInteger32(entries.front().text);
}

}  // namespace tarvos
