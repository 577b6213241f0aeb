#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/FileSystem.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {

std::string Native(const std::string& path) { return PathFromUtf8(path).string(); }

int SyncDescriptor(int fd) { return fsync(fd) == 0 ? 0 : errno; }

int Rename(const std::string& from, const std::string& to) {
    if (const int e = FileStepHookResult(FileStep::Rename, to)) return e;
    return std::rename(Native(from).c_str(), Native(to).c_str()) == 0 ? 0 : errno;
}

int CopyData(int in, int out, const std::string& to) {
    // Reported once the target is open and empty: a writer killed from here on leaves it so.
    if (const int e = FileStepHookResult(FileStep::Write, to)) return e;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return 0;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) return errno;
            done += w;
        }
    }
}

}  // namespace

int FlushFileDataUtf8(const std::string& fileName) {
    const int fd = open(Native(fileName).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int e = SyncDescriptor(fd);
    close(fd);
    return e;
}

bool MoveFlushedFileLeavingFolderUtf8(const std::string& from, const std::string& to, int* error) {
    const int e = Rename(from, to);
    if (error) *error = e;
    return e == 0;
}

std::string FolderOfUtf8(const std::string& path) {
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string(".") : cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

// The rename is only on the disk once the folder that holds the name is. A file system
// that cannot sync a folder says so (EINVAL): there is nothing more to do there.
void SyncFolderUtf8(const std::string& folder) {
    if (FileStepHookResult(FileStep::SyncFolder, folder) != 0) return;
    const int fd = open(Native(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    SyncDescriptor(fd);
    close(fd);
}

// rename(2) swaps the directory entry in one step: a reader sees the old file or the new one.
// Before it the new data are flushed: otherwise a power cut can leave the new name over data
// that never reached the disk (an empty file on ext4).
bool ReplaceFileLeavingFolderUtf8(const std::string& from, const std::string& to, int* error) {
    int e = FlushFileUtf8(from);
    if (!e) e = Rename(from, to);
    if (error) *error = e;
    return e == 0;
}

bool ReplaceFileUtf8(const std::string& from, const std::string& to, int* error) {
    if (!ReplaceFileLeavingFolderUtf8(from, to, error)) return false;
    SyncFolderUtf8(FolderOfUtf8(to));
    return true;
}

// A second link keeps the old file under both names until the new one takes the first: no
// moment without a launcher under its name.
bool ReplaceSettingAsideUtf8(const std::string& from, const std::string& to, const std::string& aside, int* error) {
    std::remove(Native(aside).c_str());
    const bool linked = link(Native(to).c_str(), Native(aside).c_str()) == 0;
    if (!linked) {
        const int e = Rename(to, aside);
        if (e && access(Native(to).c_str(), F_OK) == 0) {
            if (error) *error = e;
            return false;
        }
    }
    if (ReplaceFileUtf8(from, to, error)) return true;
    if (!linked) Rename(aside, to);
    return false;
}

int CopyFileDurably(const std::string& from, const std::string& to) {
    const int in = open(Native(from).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return errno;
    struct stat st {};
    fstat(in, &st);
    const int out = open(Native(to).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) {
        const int e = errno;
        close(in);
        return e;
    }
    int e = CopyData(in, out, to);
    if (!e) e = FileStepHookResult(FileStep::Flush, to);
    if (!e) {
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        futimens(out, times);
        e = SyncDescriptor(out);
    }
    if (close(out) != 0 && !e) e = errno;
    close(in);
    if (e) std::remove(Native(to).c_str());
    return e;
}

int ProbeRoomUtf8(const std::string& fileName, int64_t bytes) {
    const int fd = open(Native(fileName).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    int e = bytes > 0 && fallocate(fd, 0, 0, static_cast<off_t>(bytes)) != 0 ? errno : 0;
    if (e == EOPNOTSUPP || e == ENOSYS) e = 0;
    close(fd);
    unlink(Native(fileName).c_str());
    return e;
}

int LastSystemError() { return errno; }

bool IsDiskFullError(int systemError) {
    return systemError == ENOSPC || systemError == EDQUOT || systemError == EFBIG;
}

bool IsCrossVolumeError(int systemError) { return systemError == EXDEV; }

// Up the folders as long as they stay on the device: the last one is the mount point.
std::string VolumeOfUtf8(const std::string& path) {
    std::filesystem::path p = std::filesystem::absolute(PathFromUtf8(path));
    struct stat st {};
    while (stat(p.c_str(), &st) != 0 && p.has_parent_path() && p != p.parent_path()) p = p.parent_path();
    const dev_t device = st.st_dev;
    while (p.has_parent_path() && p != p.parent_path()) {
        struct stat up {};
        if (stat(p.parent_path().c_str(), &up) != 0 || up.st_dev != device) break;
        p = p.parent_path();
    }
    return PathToUtf8(p);
}

}  // namespace tarvos
