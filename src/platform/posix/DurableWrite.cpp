#include "platform/DurableWrite.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/Text.hpp"

namespace tarvos {

namespace {

bool WriteAllAndSync(int fd, std::string_view bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return ::fsync(fd) == 0;
}

}  // namespace

bool WriteFileDurably(const std::string& fileName, std::string_view bytes) {
    const std::string path = PathFromUtf8(fileName).string(), fresh = path + ".new";
    const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool written = WriteAllAndSync(fd, bytes);
    if (::close(fd) != 0 || !written || std::rename(fresh.c_str(), path.c_str()) != 0) {
        ::unlink(fresh.c_str());
        return false;
    }
    const auto cut = path.find_last_of('/');
    const std::string folder = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return false;
    const bool synced = ::fsync(dir) == 0;
    ::close(dir);
    return synced;
}

}  // namespace tarvos
