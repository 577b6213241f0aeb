#pragma once
#include <string>

// The file operations the update pipeline needs, on the program's "\"-separated UTF-8 paths.
// Failures are results, never exceptions: the callers decide what a failure means.
namespace tarvos {

// A regular file (not a folder) exists under this name.
bool FileExistsUtf8(const std::string& fileName);
bool FolderExistsUtf8(const std::string& folderName);
// Creates one folder level; true when it exists afterwards.
bool CreateFolderUtf8(const std::string& folderName);
// Renames a file; fails when the target exists.
bool RenameFileUtf8(const std::string& from, const std::string& to);
// Copies a file, replacing the target.
bool CopyFileUtf8(const std::string& from, const std::string& to);

}  // namespace tarvos
