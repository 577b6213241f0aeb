#pragma once
#include <string>

namespace tarvos {

// What the launcher asks of the desktop shell.
class Shell {
public:
    virtual ~Shell() = default;
    // Opens a URL with the system's default handler.
    virtual bool OpenUrl(const std::string& url) = 0;
    // Starts a program elevated (the "runas" verb on Windows; on Linux a plain start, a
    // Windows program through wine when that is installed) with parameters and a working
    // folder, shown normally. A file without a folder is looked up in the working folder. True when the
    // program was started.
    virtual bool StartElevated(const std::string& file, const std::string& parameters,
                               const std::string& folder) = 0;
};

// The platform's shell.
Shell& SystemShell();

// Full path of the running executable, in the program's "\"-separated form on Windows.
std::string ExecutablePath();

// A launcher running as "NAME.bak" with no "NAME" beside it was cut off between the two
// renames of replacing itself: it takes its name back, and ExecutablePath gives that name
// from then on. True when it did.
bool PutBackSetAsideLauncher();
// The name PutBackSetAsideLauncher gave the running executable; empty before.
const std::string& RenamedExecutablePath();

}  // namespace tarvos
