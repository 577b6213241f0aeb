#include <windows.h>

#include "platform/FileSystem.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {

std::wstring Wide(const std::string& path) { return PathFromUtf8(path).wstring(); }


// A folder cannot be flushed like a file here: MOVEFILE_WRITE_THROUGH instead makes the
// move return only once it is on the disk, which is what the folder's flush gives elsewhere.
int Move(const std::string& from, const std::string& to, DWORD flags) {
    if (const int e = FileStepHookResult(FileStep::Rename, to)) return e;
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), flags | MOVEFILE_WRITE_THROUGH)
               ? 0
               : static_cast<int>(GetLastError());
}

}  // namespace

int FlushFileDataUtf8(const std::string& fileName) {
    HANDLE h = CreateFileW(Wide(fileName).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    const int e = FlushFileBuffers(h) ? 0 : static_cast<int>(GetLastError());
    CloseHandle(h);
    return e;
}

bool MoveFlushedFileLeavingFolderUtf8(const std::string& from, const std::string& to, int* error) {
    const int e = Move(from, to, MOVEFILE_REPLACE_EXISTING);
    if (error) *error = e;
    return e == 0;
}

// MoveFileEx with REPLACE_EXISTING leaves the old target in place when it fails (in use,
// read-only, no right to it), and on one volume it is a rename of the directory entry. The
// new data are flushed first: NTFS would otherwise bring a renamed file back zero-filled
// after a power cut.
bool ReplaceFileUtf8(const std::string& from, const std::string& to, int* error) {
    int e = FlushFileUtf8(from);
    if (!e) e = Move(from, to, MOVEFILE_REPLACE_EXISTING);
    if (error) *error = e;
    return e == 0;
}

bool ReplaceFileLeavingFolderUtf8(const std::string& from, const std::string& to, int* error) {
    return ReplaceFileUtf8(from, to, error);
}

void SyncFolderUtf8(const std::string&) {}

std::string FolderOfUtf8(const std::string& path) {
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

// A running program's file cannot be replaced or linked over, only renamed: the two
// renames follow each other at once, with the new file already on the disk, and a launcher
// that finds only its ".bak" copy puts it back when it starts.
bool ReplaceSettingAsideUtf8(const std::string& from, const std::string& to, const std::string& aside, int* error) {
    int e = FlushFileUtf8(from);
    if (!e) {
        DeleteFileW(Wide(aside).c_str());
        e = Move(to, aside, 0);
        if (e && GetFileAttributesW(Wide(to).c_str()) == INVALID_FILE_ATTRIBUTES) e = 0;  // nothing to set aside
    }
    if (!e) {
        e = Move(from, to, MOVEFILE_REPLACE_EXISTING);
        if (e) Move(aside, to, 0);
    }
    if (error) *error = e;
    return e == 0;
}

int CopyFileDurably(const std::string& from, const std::string& to) {
    if (const int e = FileStepHookResult(FileStep::Write, to)) return e;
    // CopyFile keeps the dates and attributes of the source.
    if (!CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE)) {
        const int e = static_cast<int>(GetLastError());
        DeleteFileW(Wide(to).c_str());
        return e;
    }
    const int e = FlushFileUtf8(to);
    if (e) DeleteFileW(Wide(to).c_str());
    return e;
}

// Setting the end of a new file allocates its clusters, or fails for want of them.
int ProbeRoomUtf8(const std::string& fileName, int64_t bytes) {
    HANDLE h = CreateFileW(Wide(fileName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    LARGE_INTEGER size;
    size.QuadPart = bytes;
    int e = 0;
    if (bytes > 0 && (!SetFilePointerEx(h, size, nullptr, FILE_BEGIN) || !SetEndOfFile(h)))
        e = static_cast<int>(GetLastError());
    CloseHandle(h);
    return e;
}

int LastSystemError() { return static_cast<int>(GetLastError()); }

bool IsDiskFullError(int systemError) {
    return systemError == ERROR_DISK_FULL || systemError == ERROR_HANDLE_DISK_FULL ||
           systemError == ERROR_FILE_TOO_LARGE;
}

bool IsCrossVolumeError(int systemError) { return systemError == ERROR_NOT_SAME_DEVICE; }

std::string VolumeOfUtf8(const std::string& path) {
    wchar_t root[MAX_PATH + 1] = {};
    if (!GetVolumePathNameW(Wide(path).c_str(), root, MAX_PATH)) return path;
    std::wstring w(root);
    return Utf16ToUtf8(std::u16string(w.begin(), w.end()));
}

}  // namespace tarvos
