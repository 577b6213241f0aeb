#pragma once
#include <cstdint>
#include <functional>
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
// is either the old file, untouched, or the new one, whole, also after a power cut: the new
// data reach the disk before the rename, and the rename before the function returns. Both
// must be on one volume (else the error is one IsCrossVolumeError knows). `error` receives
// the system error of a failure.
bool ReplaceFileUtf8(const std::string& from, const std::string& to, int* error = nullptr);
// The same, leaving the folder's flush to the caller (SyncFolderUtf8), who flushes each folder
// once for many replacements, before anything records them as done.
bool ReplaceFileLeavingFolderUtf8(const std::string& from, const std::string& to, int* error = nullptr);
// Flushes the data of several files to the disk at once, each on a thread of its own: a disk
// takes many flushes that wait together at about the cost of one. For each file 0, or the
// system error.
std::vector<int> FlushFilesUtf8(const std::vector<std::string>& fileNames);
// Flushes one file's data to the disk (the test hook sees it): 0, or the system error.
int FlushFileUtf8(const std::string& fileName);
// The flush alone, without the test hook.
int FlushFileDataUtf8(const std::string& fileName);
// Renames a file whose data the caller has flushed over `to` in one step, leaving the
// folder's flush to the caller as ReplaceFileLeavingFolderUtf8 does.
bool MoveFlushedFileLeavingFolderUtf8(const std::string& from, const std::string& to, int* error = nullptr);
// Flushes a folder's entries (its renames) to the disk; nothing to do on Windows, where each
// rename writes through.
void SyncFolderUtf8(const std::string& folder);
// The folder of a "\"-separated path.
std::string FolderOfUtf8(const std::string& path);
// Keeps the file `to` under the name `aside` and puts `from` in its place, for a file that
// is in use (the running launcher): the old file never leaves both names at once where the
// system allows it (a second link), and otherwise for two renames in a row. On failure
// `to` is the old file.
bool ReplaceSettingAsideUtf8(const std::string& from, const std::string& to, const std::string& aside,
                             int* error = nullptr);
// Copies a file to a new name with its dates, its data on the disk when it returns: the
// first half of a replacement across volumes. 0, or the system error (the copy is removed).
int CopyFileDurably(const std::string& from, const std::string& to);
// Asks the file system for room for a file of this size under this name, and gives the room
// back: 0, or the system error of the refusal (a full disk among them). A file system that
// cannot reserve room answers 0.
int ProbeRoomUtf8(const std::string& fileName, int64_t bytes);
// The system error of the last failed call on this thread (errno, GetLastError).
int LastSystemError();
// A write failed for want of room: the disk (or the user's share of it) is full, or the
// file is larger than the volume or the process may hold.
bool IsDiskFullError(int systemError);
// A rename failed because its two names lie on different volumes.
bool IsCrossVolumeError(int systemError);
// The volume a path lies on, as the player knows it: the mount point, the drive's root.
std::string VolumeOfUtf8(const std::string& path);

// The steps of a durable replacement, reported in the order they happen to a hook that
// tests install: it sees them, and a non-zero result fails the step with that system error,
// as a full disk or another volume would.
enum class FileStep { Write, Flush, Rename, SyncFolder };
using FileStepHook = std::function<int(FileStep step, const std::string& path)>;
void SetFileStepHookForTests(FileStepHook hook);
// 0 without a hook.
int FileStepHookResult(FileStep step, const std::string& path);
// Removes a folder with everything in it; true when it is gone afterwards.
bool RemoveFolderTreeUtf8(const std::string& folderName);
// The names of the regular files directly in a folder.
std::vector<std::string> FilesInFolderUtf8(const std::string& folderName);

}  // namespace tarvos
