#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "platform/SingleInstance.hpp"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include "config/TempFolder.hpp"
#endif

namespace tarvos {
namespace {

std::string FreshName(const char* base) { return base + std::to_string(std::random_device{}()); }

TEST(SingleInstance, ANameIsHeldOnce) {
#ifndef _WIN32
    testing::TempFolder runtime("tarvos-runtime");
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
#endif
    const std::string name = FreshName("Game Launcher\\");
    EXPECT_TRUE(AcquireSingleInstance(name));
    EXPECT_FALSE(AcquireSingleInstance(name)) << "held already, by this process";
    EXPECT_TRUE(AcquireSingleInstance(name + "x"));
#ifndef _WIN32
    unsetenv("XDG_RUNTIME_DIR");
#endif
}

#ifndef _WIN32
// The claim as another process makes it: its exit code says whether it got the name.
bool ClaimInOtherProcess(const std::string& name) {
    const pid_t pid = fork();
    if (pid == 0) _exit(AcquireSingleInstance(name) ? 0 : 1);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(SingleInstance, OneProcessPerNameForAsLongAsItRuns) {
    testing::TempFolder runtime("tarvos-runtime");
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    const std::string name = "Game Launcher/1";

    EXPECT_TRUE(ClaimInOtherProcess(name));  // a copy that ended leaves the name free
    EXPECT_TRUE(AcquireSingleInstance(name));
    EXPECT_FALSE(ClaimInOtherProcess(name));
    EXPECT_TRUE(ClaimInOtherProcess("Game Launcher_1")) << "another name, even one that looks alike";
    EXPECT_TRUE(ClaimInOtherProcess("AutoUpdater"));
    ReleaseSingleInstance(name);  // a copy about to start its replacement
    EXPECT_TRUE(ClaimInOtherProcess(name));
    unsetenv("XDG_RUNTIME_DIR");
}
#endif

}  // namespace
}  // namespace tarvos
