#pragma once
#include <string>
#include <vector>

#include "Manifest.hpp"
#include "SkinWriter.hpp"

namespace tarvos::pack {

struct BuildResult {
    Bytes package;  // main-window section, settings-window section, configuration text
    std::vector<std::string> warnings;
};

// Builds the configuration package of a skin. Pictures are checked by decoding them; the
// main outline is computed from the background (key colour or mask) and stored as region
// data. Throws TarvosError naming the manifest line for anything the launcher could not use.
BuildResult BuildPackage(const SkinManifest& manifest);

}  // namespace tarvos::pack
