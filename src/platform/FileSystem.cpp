#include "platform/FileSystem.hpp"

#include <filesystem>

#include "platform/Text.hpp"

namespace tarvos {

namespace fs = std::filesystem;

bool FileExistsUtf8(const std::string& fileName) {
    std::error_code ec;
    return fs::is_regular_file(PathFromUtf8(fileName), ec);
}

bool FolderExistsUtf8(const std::string& folderName) {
    std::error_code ec;
    return fs::is_directory(PathFromUtf8(folderName), ec);
}

bool CreateFolderUtf8(const std::string& folderName) {
    std::error_code ec;
    fs::create_directory(PathFromUtf8(folderName), ec);
    return FolderExistsUtf8(folderName);
}

bool RenameFileUtf8(const std::string& from, const std::string& to) {
    std::error_code ec;
    const auto target = PathFromUtf8(to);
    // std::filesystem::rename replaces an existing target on Linux; a rename never should.
    if (fs::exists(target, ec)) return false;
    fs::rename(PathFromUtf8(from), target, ec);
    return !ec;
}

bool CopyFileUtf8(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::copy_file(PathFromUtf8(from), PathFromUtf8(to), fs::copy_options::overwrite_existing, ec);
    return !ec;
}

bool RemoveFolderTreeUtf8(const std::string& folderName) {
    std::error_code ec;
    fs::remove_all(PathFromUtf8(folderName), ec);
    return !fs::exists(PathFromUtf8(folderName), ec);
}

std::vector<std::string> FilesInFolderUtf8(const std::string& folderName) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(PathFromUtf8(folderName), ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) names.push_back(PathToUtf8(it->path().filename()));
    return names;
}

namespace {
FileStepHook& StepHook() {
    static FileStepHook hook;
    return hook;
}
}  // namespace

void SetFileStepHookForTests(FileStepHook hook) { StepHook() = std::move(hook); }

int FileStepHookResult(FileStep step, const std::string& path) {
    const FileStepHook& hook = StepHook();
    return hook ? hook(step, path) : 0;
}

}  // namespace tarvos
