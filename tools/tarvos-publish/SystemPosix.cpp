#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "System.hpp"
#include "platform/DateTime.hpp"
#include "platform/Error.hpp"
#include "platform/Text.hpp"

extern char** environ;

namespace tarvos::publish {

std::optional<std::filesystem::path> FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        if (access(name.c_str(), X_OK) == 0) return std::filesystem::path(name);
        return std::nullopt;
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        size_t end = dirs.find(':', start);
        std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (dir.empty()) dir = ".";
        std::filesystem::path candidate = std::filesystem::path(dir) / name;
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos) return std::nullopt;
        start = end + 1;
    }
}

namespace {

// rar reads file names through the locale: under the C locale it stores non-ASCII names
// mangled, so the child always gets a UTF-8 character type.
std::vector<std::string> ChildEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "LC_ALL=", 7) != 0) env.emplace_back(*e);
    env.emplace_back("LC_ALL=C.UTF-8");
    return env;
}

struct FileActions {
    posix_spawn_file_actions_t actions;
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
};

}  // namespace

ProcessResult RunProcess(const std::filesystem::path& program, const std::vector<std::string>& args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw TarvosError("Cannot create a pipe: " + std::string(std::strerror(errno)));
    FileActions fa;
    posix_spawn_file_actions_addopen(&fa.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa.actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&fa.actions, fds[1], 2);

    std::vector<std::string> env = ChildEnvironment();
    std::vector<char*> envp, argv;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string programName = program.string();
    argv.push_back(programName.data());
    std::vector<std::string> argsCopy = args;
    for (auto& a : argsCopy) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    int rc = posix_spawn(&pid, programName.c_str(), &fa.actions, nullptr, argv.data(), envp.data());
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        throw TarvosError("Cannot start " + programName + ": " + std::strerror(rc));
    }
    ProcessResult result;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n > 0) {
            result.output.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode =
        WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return result;
}

void MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::filesystem::rename(from, to);
}

bool StderrIsTerminal() { return isatty(2) != 0; }

void WriteOwnerOnlyFile(const std::filesystem::path& file, const std::string& bytes) {
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) throw TarvosError("Cannot create file " + PathToUtf8(file) + ": " + std::strerror(errno));
    // The mode of a new file is cut by the umask, never widened; fchmod makes it exact.
    const bool ok = fchmod(fd, 0600) == 0 &&
                    write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    if (close(fd) != 0 || !ok) {
        std::filesystem::remove(file);
        throw TarvosError("Cannot write file " + PathToUtf8(file));
    }
}

}  // namespace tarvos::publish
