#include "platform/FileSystem.hpp"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

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

int FlushFileUtf8(const std::string& fileName) {
    if (const int e = FileStepHookResult(FileStep::Flush, fileName)) return e;
    return FlushFileDataUtf8(fileName);
}

std::vector<int> FlushFilesUtf8(const std::vector<std::string>& fileNames) {
    std::vector<int> errors(fileNames.size(), 0);
    // The test hook sees every flush, in order, on the caller's thread.
    for (size_t i = 0; i < fileNames.size(); ++i) errors[i] = FileStepHookResult(FileStep::Flush, fileNames[i]);
    constexpr size_t kMostThreads = 16;
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i; (i = next++) < fileNames.size();) {
            if (errors[i]) continue;
            try {
                errors[i] = FlushFileDataUtf8(fileNames[i]);
            } catch (...) {
                errors[i] = -1;  // a name the system cannot even spell: not flushed
            }
        }
    };
    std::vector<std::thread> threads;
    try {
        for (size_t k = 1; k < std::min(kMostThreads, fileNames.size()); ++k) threads.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: the ones there are (and this one) do the rest.
    }
    work();
    for (std::thread& t : threads) t.join();
    return errors;
}

}  // namespace tarvos
