#include "platform/FileSystem.hpp"
#include "platform/Shell.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {
std::string& Renamed() {
    static std::string path;
    return path;
}
}  // namespace

const std::string& RenamedExecutablePath() { return Renamed(); }

bool PutBackSetAsideLauncher() {
    const std::string self = ExecutablePath();
    const std::string ending = ".bak";
    if (self.size() <= ending.size() || LowerUser(self.substr(self.size() - ending.size())) != ending) return false;
    const std::string name = self.substr(0, self.size() - ending.size());
    if (FileExistsUtf8(name) || !RenameFileUtf8(self, name)) return false;
    Renamed() = name;
    return true;
}

}  // namespace tarvos
