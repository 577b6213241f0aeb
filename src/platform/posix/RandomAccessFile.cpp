#include "platform/RandomAccessFile.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Text.hpp"

namespace tarvos {

RandomAccessFile::~RandomAccessFile() { Close(); }

bool RandomAccessFile::Create(const std::string& fileName, bool truncate) {
    Close();
    fd_ = open(PathFromUtf8(fileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : 0), 0644);
    return fd_ >= 0;
}

bool RandomAccessFile::SetSize(int64_t size) { return fd_ >= 0 && ftruncate(fd_, static_cast<off_t>(size)) == 0; }

bool RandomAccessFile::WriteAt(int64_t offset, const void* data, size_t length) {
    auto* p = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t n = pwrite(fd_, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        offset += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

void RandomAccessFile::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool RandomAccessFile::IsOpen() const { return fd_ >= 0; }

bool DeleteFileUtf8(const std::string& fileName) { return unlink(PathFromUtf8(fileName).c_str()) == 0; }

}  // namespace tarvos
