#include "platform/FileLock.hpp"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/Text.hpp"

namespace tarvos {

bool FileLock::TryAcquire(const std::string& fileName) {
    Release();
    busy_ = false;
    const int fd = open(PathFromUtf8(fileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        busy_ = errno == EWOULDBLOCK;
        close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void FileLock::Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool FileLock::Held() const { return fd_ >= 0; }

}  // namespace tarvos
