#pragma once
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tarvos::pack {

// One "[window Element]" section of a skin manifest.
struct ElementSpec {
    std::string window;  // "main" or "settings"
    std::string name;    // the element's name, e.g. "Button_StartGame"
    std::map<std::string, std::string> files;  // lower-case key -> value (a path, or the outline rule)
    std::vector<std::string> parameters;       // every other line, as written
    int line = 0;
};

struct SkinManifest {
    std::filesystem::path dir;
    std::filesystem::path configFile;
    std::vector<ElementSpec> elements;
};

// The file keys an element of each class takes; every other line is a parameter line.
// Throws TarvosError "skin.ini:LINE: message" for anything malformed.
SkinManifest ReadManifest(const std::filesystem::path& skinDir);

inline constexpr const char* kManifestName = "skin.ini";

}  // namespace tarvos::pack
