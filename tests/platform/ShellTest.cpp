// The posix shell hands only web and mail addresses to the desktop's opener, whoever asks.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "config/TempFolder.hpp"
#include "platform/Shell.hpp"
#include "platform/Text.hpp"

namespace tarvos {

TEST(PosixShell, OpensOnlyWebAndMailAddresses) {
    testing::TempFolder dir("tarvos-shell");
    const auto record = dir.Path() / "opened.txt";
    const auto opener = dir.Path() / "xdg-open";
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << record.string() << "'\n";
    chmod(opener.c_str(), 0755);
    const std::string oldPath = std::getenv("PATH");
    setenv("PATH", (dir.Path().string() + ":" + oldPath).c_str(), 1);
    for (const char* url : {"file:///bin/sh", "/bin/sh", "javascript:x", "-x", "smb://host/share/x", "x.html"})
        EXPECT_FALSE(SystemShell().OpenUrl(url)) << url;
    EXPECT_TRUE(SystemShell().OpenUrl("mailto:gm@example.org"));
    EXPECT_TRUE(SystemShell().OpenUrl("HTTPS://example.org/news"));
    setenv("PATH", oldPath.c_str(), 1);
    // The opener runs detached: wait for both of its lines.
    std::vector<std::string> lines;
    while (lines.size() < 2) {
        usleep(10000);
        lines = std::filesystem::exists(record) ? ReadTextLines(record.string()) : lines;
    }
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"HTTPS://example.org/news", "mailto:gm@example.org"}));
}

}  // namespace tarvos
#endif
