#include "launcher/GameStart.hpp"

#include <filesystem>
#include <system_error>

#include "platform/Text.hpp"

namespace tarvos {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDefaultClientFolder = "system";
constexpr const char* kClientProgram = "t2.exe";
constexpr const char* kGameSettings = "t2.ini";

// Replaces the game settings file by a copy of the proxy's file. The copy is made beside
// it first and then renamed over it, so a copy that fails (disk full, locked file) leaves
// the player's settings file as it was; a proxy file that is the settings file itself is
// left alone instead of being deleted before it is read.
void InstallProxySettings(const fs::path& proxyFile, const fs::path& target) {
    std::error_code ec;
    if (!fs::is_regular_file(proxyFile, ec)) return;
    if (fs::exists(target, ec) && fs::equivalent(proxyFile, target, ec)) return;
    fs::path staged = target;
    staged += ".new";
    if (!fs::copy_file(proxyFile, staged, fs::copy_options::overwrite_existing, ec)) {
        fs::remove(staged, ec);
        return;
    }
    fs::rename(staged, target, ec);
    if (ec) fs::remove(staged, ec);
}

}  // namespace

std::string ClientFolder(const std::string& langFolderMap, const std::string& langFolder) {
    std::string folder = kDefaultClientFolder;
    std::string rest = langFolderMap;
    while (!rest.empty()) {
        const size_t semicolon = rest.find(';');
        const std::string name =
            semicolon == std::string::npos ? std::string() : TrimText(rest.substr(0, semicolon));
        rest.erase(0, semicolon == std::string::npos ? 0 : semicolon + 1);
        const size_t bar = rest.find('|');
        if (name == langFolder) folder = TrimText(rest.substr(0, bar));
        rest.erase(0, bar == std::string::npos ? std::string::npos : bar + 1);
    }
    return folder;
}

bool StartGame(const TGameStartInput& input, const ProgramStarter& start) {
    const std::string clientPath =
        input.MainPath + "\\" + ClientFolder(input.LangFolderMap, input.LangFolder);
    std::string proxyFile;
    if (input.UseProxy && !input.ProxyLine.empty()) {
        const size_t bar = input.ProxyLine.rfind('|');
        proxyFile = TrimText(bar == std::string::npos ? input.ProxyLine : input.ProxyLine.substr(bar + 1));
        InstallProxySettings(PathFromUtf8(clientPath + "\\" + proxyFile),
                             PathFromUtf8(clientPath + "\\" + kGameSettings));
    }
    // A start that fails or is declined is silent, and auto-close still closes.
    try {
        if (start) start(TProgramStart{"runas", clientPath + "\\" + kClientProgram, proxyFile, clientPath});
    } catch (...) {
    }
    return input.AutoClose;
}

}  // namespace tarvos
