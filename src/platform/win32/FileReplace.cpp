#include <windows.h>

#include "platform/FileSystem.hpp"
#include "platform/Text.hpp"

namespace tarvos {

// MoveFileEx with REPLACE_EXISTING leaves the old target in place when it fails (in use,
// read-only, no right to it), and on one volume it is a rename of the directory entry.
bool ReplaceFileUtf8(const std::string& from, const std::string& to) {
    return MoveFileExW(PathFromUtf8(from).c_str(), PathFromUtf8(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace tarvos
