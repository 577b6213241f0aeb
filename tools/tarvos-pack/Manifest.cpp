#include "Manifest.hpp"

#include "platform/Error.hpp"
#include "platform/Text.hpp"

namespace tarvos::pack {

namespace {

[[noreturn]] void Fail(int line, const std::string& message) {
    throw TarvosError(std::string(kManifestName) + ":" + std::to_string(line) + ": " + message);
}

// "[main Button_StartGame]" -> window and element.
ElementSpec OpenElement(const std::string& header, int line) {
    if (header.back() != ']') Fail(line, "section header without \"]\"");
    std::string inner = TrimText(std::string_view(header).substr(1, header.size() - 2));
    size_t blank = inner.find(' ');
    ElementSpec e;
    e.line = line;
    if (blank == std::string::npos) Fail(line, "expected [main NAME] or [settings NAME]");
    e.window = inner.substr(0, blank);
    e.name = TrimText(std::string_view(inner).substr(blank + 1));
    if (e.window != "main" && e.window != "settings") Fail(line, "unknown window \"" + e.window + "\"");
    return e;
}

bool IsFileKey(const std::string& key) {
    static const char* keys[] = {"image", "outline", "common", "over", "disabled", "down", "up", "script", "fore", "back"};
    for (const char* k : keys)
        if (key == k) return true;
    return false;
}

}  // namespace

SkinManifest ReadManifest(const std::filesystem::path& skinDir) {
    SkinManifest m;
    m.dir = skinDir;
    auto lines = ReadTextLines(PathToUtf8(skinDir / kManifestName));
    ElementSpec* current = nullptr;
    for (size_t i = 0; i < lines.size(); ++i) {
        int n = static_cast<int>(i + 1);
        std::string line = TrimText(lines[i]);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            m.elements.push_back(OpenElement(line, n));
            current = &m.elements.back();
            continue;
        }
        size_t eq = line.find('=');
        std::string key = eq == std::string::npos ? line : TrimText(std::string_view(line).substr(0, eq));
        std::string value = eq == std::string::npos ? "" : TrimText(std::string_view(line).substr(eq + 1));
        if (!current) {
            if (key != "config") Fail(n, "only \"config = FILE\" may come before the first section");
            m.configFile = skinDir / PathFromUtf8(value);
            continue;
        }
        if (IsFileKey(key)) {
            if (eq == std::string::npos || value.empty()) Fail(n, "\"" + key + "\" needs a value");
            current->files[key] = value;
        } else {
            current->parameters.push_back(line);
        }
    }
    if (m.configFile.empty()) Fail(0, "no \"config = FILE\" line");
    return m;
}

}  // namespace tarvos::pack
