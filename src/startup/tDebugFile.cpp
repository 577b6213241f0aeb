#include "startup/tDebugFile.hpp"

#include "platform/Error.hpp"
#include "platform/Text.hpp"

namespace tarvos {

void tDebugFile::WriteErr(const std::string& str) {
    if (!enabled) return;
    ts.push_back(str);
    Save();
}

tDebugFile::~tDebugFile() {
    if (!enabled) return;
    try {
        Save();
    } catch (const TarvosError&) {
        // A log that cannot be written must not end the program on its way out.
    }
}

void tDebugFile::Save() const {
    if (!filename.empty()) WriteTextLines(filename, ts);
}

}  // namespace tarvos
