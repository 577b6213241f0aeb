#include "platform/FileStream.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Error.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {
int OpenFlags(FileMode mode) {
    switch (mode) {
        case FileMode::OpenRead:
        case FileMode::OpenReadShareDenyWrite: return O_RDONLY;
        case FileMode::OpenReadWriteExclusive: return O_RDWR;
        case FileMode::Create: return O_RDWR | O_CREAT | O_TRUNC;
    }
    return O_RDONLY;
}

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }
}  // namespace

FileStream::FileStream(const std::string& fileName, FileMode mode) : fileName_(fileName) {
    int fd = ::open(PathFromUtf8(fileName).c_str(), OpenFlags(mode) | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw TarvosError((mode == FileMode::Create ? "Cannot create file " : "Cannot open file ") + fileName);
    }
    handle_ = fd;
}

FileStream::~FileStream() {
    if (handle_ >= 0) ::close(Fd(handle_));
}

size_t FileStream::Read(void* buffer, size_t count) {
    size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < count) {
        ssize_t n = ::read(Fd(handle_), p + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw TarvosError("Cannot read file " + fileName_);
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    position_ += static_cast<int64_t>(done);
    return done;
}

size_t FileStream::Write(const void* buffer, size_t count) {
    size_t done = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (done < count) {
        ssize_t n = ::write(Fd(handle_), p + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    position_ += static_cast<int64_t>(done);
    return done;
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin) {
    int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t pos = ::lseek(Fd(handle_), static_cast<off_t>(offset), whence);
    if (pos < 0) throw TarvosError("Invalid stream position");
    position_ = pos;
    return position_;
}

int64_t FileStream::Size() const {
    struct stat st {};
    if (::fstat(Fd(handle_), &st) != 0) throw TarvosError("Cannot read file " + fileName_);
    return st.st_size;
}

}  // namespace tarvos
