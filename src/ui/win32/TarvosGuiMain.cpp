// The windowed launcher's entry.
#include <windows.h>

#include <cstdlib>

#include "platform/HandlerBoundary.hpp"
#include "platform/ProgramArguments.hpp"
#include "ui/win32/Win32Windows.hpp"
#include "startup/Startup.hpp"

namespace {

int RunLauncher() {
    const std::vector<std::string> args = tarvos::ProgramArguments(__argc, __argv);
    tarvos::Win32Windows windows(args);
    return tarvos::RunStartup(args, tarvos::OwnResources(), windows);
}

}  // namespace

using tarvos::CallbackBoundary;

// An error nothing else caught is shown in a message box and ends the launcher with code 1.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return CallbackBoundary<int>(1, RunLauncher); }
