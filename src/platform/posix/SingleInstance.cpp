#include "platform/SingleInstance.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace tarvos {
namespace {

// The names this process holds, with their locked descriptors (main thread only).
std::map<std::string, int>& Held() {
    static std::map<std::string, int> held;
    return held;
}

// The user's runtime folder; /tmp/tarvos-<uid> when the session has none. A folder that
// is not a real folder of this user (another user could have made it first) is not used.
std::string LockFolder() {
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg == '/') return xdg;
    const std::string folder = "/tmp/tarvos-" + std::to_string(getuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & 077) != 0)
        return {};
    return folder;
}

// Any instance name becomes one file name: characters outside a safe set are escaped, so
// different names never share a lock.
std::string LockFileName(const std::string& name) {
    std::string out = "tarvos-instance-";
    for (unsigned char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '_') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out + ".lock";
}

}  // namespace

bool AcquireSingleInstance(const std::string& name) {
    const std::string folder = LockFolder();
    if (folder.empty()) return true;
    const std::string path = folder + "/" + LockFileName(name);
    // Close-on-exec: a game started by the launcher must not keep its lock alive.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return true;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        close(fd);
        return !held;
    }
    // The descriptor stays open for the life of the process (or until released); the lock
    // goes with it.
    Held()[name] = fd;
    return true;
}

void ReleaseSingleInstance(const std::string& name) {
    const auto it = Held().find(name);
    if (it == Held().end()) return;
    close(it->second);
    Held().erase(it);
}

}  // namespace tarvos
