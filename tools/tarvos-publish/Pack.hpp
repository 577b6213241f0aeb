#pragma once
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Scan.hpp"

namespace tarvos::publish {

// One file to pack. The archive is made under a temporary name beside its final place;
// Commit moves it there once every job of the run has succeeded.
struct PackJob {
    SourceFile file;
    std::filesystem::path partial;  // the archive being made
    std::string hash;               // results: digest of the file and of its archive
    std::string hashPacked;
    std::string error;  // empty when the job succeeded
};

// The temporary name of an archive; an interrupted run leaves these behind, and the next
// run removes them, never taking one for a finished archive.
std::filesystem::path PartialOf(const std::filesystem::path& archive);
bool IsPartialName(const std::filesystem::path& file);

struct PackProgress {
    std::atomic<int64_t> bytesDone{0};
    std::atomic<int> filesDone{0};
};

// Packs every job with `rar`, at most `jobs` at a time, largest files first; every job ends
// with either its two digests or an error. `tick` runs on the calling thread about five times
// a second while the work goes on. After the first failure no further job starts.
void PackAll(std::vector<PackJob>& work, const std::filesystem::path& rar, unsigned jobs,
             PackProgress& progress, const std::function<void()>& tick);

}  // namespace tarvos::publish
