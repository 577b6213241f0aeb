#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvos::publish {

// One file of the game folder as the launcher will know it.
struct SourceFile {
    std::string name;               // list form: "\" + relative path with "\" separators
    std::filesystem::path path;     // where it is now
    std::filesystem::path archive;  // its archive in the server folder (name + ".ta2")
    int64_t size = 0;
    double date = 0;  // last-write time as the launcher reads it back
};

struct ScanResult {
    std::vector<SourceFile> files;    // in the order of the directory walk
    std::vector<std::string> errors;  // one line per refused or unreadable entry
};

// Walks the game folder (symbolic links to folders are not followed). Every name the
// launcher would refuse, two names that the launcher takes for one (they differ only in
// letter case), and the list's own name at the top are reported as errors.
ScanResult ScanGameFolder(const std::filesystem::path& game, const std::filesystem::path& server);

// The list form of a relative name given by the operator ("system\t2.ini", "\system\t2.ini"
// or with "/"); empty when the launcher would refuse it.
std::string ListNameOf(std::string_view relative);

// Where the archive of a list name lies below the server folder.
std::filesystem::path ArchiveOf(const std::filesystem::path& server, const std::string& listName);

}  // namespace tarvos::publish
