#include "platform/Shell.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "platform/OutsideLink.hpp"
#include "platform/Text.hpp"

extern char** environ;

namespace tarvos {

namespace {

// Splits parameters at blanks; quoting is not needed for what the launcher passes.
std::vector<std::string> SplitParameters(const std::string& parameters) {
    std::vector<std::string> out;
    std::string word;
    for (char c : parameters + ' ') {
        if (c != ' ') {
            word += c;
        } else if (!word.empty()) {
            out.push_back(word);
            word.clear();
        }
    }
    return out;
}

// Runs the program detached: a first child starts it and exits at once, so the started
// program never becomes a zombie of a launcher that goes on running.
bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                   const std::string& folder) {
    // Everything the child needs is made before the fork: between fork and exec only
    // async-signal-safe calls are allowed (another thread may hold the allocator's lock).
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    const pid_t first = fork();
    if (first < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return false;
    }
    if (first == 0) {
        setsid();
        // The launcher receives stop requests on a thread of its own; the program gets
        // the default handling back.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (fork() != 0) _exit(0);
        if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
        execve(program.c_str(), argv.data(), environ);
        const char failed = 1;  // tells the launcher that nothing was started
        (void)!write(pipeFds[1], &failed, 1);
        _exit(127);
    }
    close(pipeFds[1]);
    int status = 0;
    waitpid(first, &status, 0);
    char failed = 0;
    const bool execFailed = read(pipeFds[0], &failed, 1) == 1;
    close(pipeFds[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && !execFailed;
}

// A Windows program ("MZ" at its start, as a game client built for Windows is).
bool IsWindowsProgram(const std::string& path) {
    char magic[2] = {};
    std::ifstream in(path, std::ios::binary);
    return in.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

// A program on the search path; empty when it is not installed.
std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string dir = rest.substr(0, colon);
        rest = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
        if (dir.empty()) continue;
        const std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

class PosixShell final : public Shell {
public:
    bool OpenUrl(const std::string& url) override {
        if (!IsOpenableLink(url)) return false;
        const std::string opener = FindOnPath("xdg-open");
        return !opener.empty() && StartDetached(opener, {url}, "");
    }

    bool StartElevated(const std::string& file, const std::string& parameters,
                       const std::string& folder) override {
        const std::string dir = PathToUtf8(PathFromUtf8(folder));
        std::string program = PathToUtf8(PathFromUtf8(file));
        if (program.find('/') == std::string::npos) program = dir + "/" + program;
        std::vector<std::string> args = SplitParameters(parameters);
        // A game client built for Windows runs through wine when it is installed, so a
        // Linux player can use the console launcher; anything else is started itself.
        if (IsWindowsProgram(program)) {
            if (const std::string wine = FindOnPath("wine"); !wine.empty()) {
                args.insert(args.begin(), program);
                return StartDetached(wine, args, dir);
            }
        }
        return StartDetached(program, args, dir);
    }
};

}  // namespace

Shell& SystemShell() {
    static PosixShell shell;
    return shell;
}

std::string ExecutablePath() {
    if (!RenamedExecutablePath().empty()) return RenamedExecutablePath();
    char buf[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

}  // namespace tarvos
