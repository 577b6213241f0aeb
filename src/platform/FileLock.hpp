#pragma once
#include <string>

namespace tarvos {

// An exclusive lock on a file, held while the object lives (and never inherited by a
// program the launcher starts). Two processes, whoever started them, cannot hold the same
// lock file at once; the operating system drops the lock when its holder dies, so a killed
// launcher never leaves a stale lock behind.
class FileLock {
public:
    FileLock() = default;
    ~FileLock() { Release(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // False when another holder has it or the file cannot be opened at all.
    bool TryAcquire(const std::string& fileName);
    void Release();
    bool Held() const;
    // The last TryAcquire failed because another holder has the lock, not for want of a
    // file to lock (no folder, a plain file in its place, no right to write there).
    bool Busy() const { return busy_; }

private:
    bool busy_ = false;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

}  // namespace tarvos
