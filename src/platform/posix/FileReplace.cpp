#include <cstdio>

#include "platform/FileSystem.hpp"
#include "platform/Text.hpp"

namespace tarvos {

// rename(2) swaps the directory entry in one step: a reader sees the old file or the new one.
bool ReplaceFileUtf8(const std::string& from, const std::string& to) {
    return std::rename(PathFromUtf8(from).c_str(), PathFromUtf8(to).c_str()) == 0;
}

}  // namespace tarvos
