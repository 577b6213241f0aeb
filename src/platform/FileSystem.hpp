#pragma once
#include <cstdint>
#include <string>
#include <vector>

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
// Puts `from` in the place of `to` in one step, replacing an existing `to`: afterwards `to`
// is either the old file, untouched, or the new one, whole. Both must be on one volume.
bool ReplaceFileUtf8(const std::string& from, const std::string& to);
// Removes a folder with everything in it; true when it is gone afterwards.
bool RemoveFolderTreeUtf8(const std::string& folderName);
// The names of the regular files directly in a folder.
std::vector<std::string> FilesInFolderUtf8(const std::string& folderName);
// Bytes free for this user on the volume of the folder; -1 when unknown.
int64_t FreeDiskBytes(const std::string& folderName);

}  // namespace tarvos
