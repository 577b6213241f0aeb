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
    if (enabled) Save();
}

void tDebugFile::Save() const {
    if (filename.empty()) return;
    try {
        WriteTextLines(filename, ts);
    } catch (const std::exception&) {
        // The log is a diagnostic: when it cannot be written (a folder of that name, a
        // read-only folder, a full disk) the launcher runs on without it. The lines stay in
        // memory, so a later write that succeeds still gives the whole log.
    }
}

}  // namespace tarvos
