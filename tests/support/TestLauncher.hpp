#pragma once
// A launcher of a test's own: a copy of the built tarvos-cli in a game folder, carrying a
// package made from the default skin with the test's configuration text (native only).
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/BmpFixtures.hpp"

namespace tarvos::test {

inline std::filesystem::path BuiltFile(const char* relative) {
    const char* dir = std::getenv("TARVOS_BINARY_DIR");  // set by ctest
    return std::filesystem::path(dir ? dir : ".") / relative;
}

struct CommandResult {
    int code = -1;
    std::string out;
};

// Runs a shell command line; its standard output and error together.
inline CommandResult RunCommand(const std::string& command) {
    CommandResult r;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) r.out.append(buf, n);
    const int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

inline std::string Quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// Puts tarvos-cli into `game` with `configText` as its configuration and a small skin (a
// background only); empty when it worked.
inline std::string MakeTestLauncher(const std::filesystem::path& game, const std::string& configText) {
    namespace fs = std::filesystem;
    const fs::path skin = game.parent_path() / (game.filename().string() + "-skin");
    std::error_code ec;
    fs::remove_all(skin, ec);
    fs::create_directories(skin);
    const auto bmp = testing::MakeBmp(testing::Pattern(64, 48, {0x203040, 0x405060}), 24);
    std::ofstream(skin / "bg.bmp", std::ios::binary)
        .write(reinterpret_cast<const char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
    std::ofstream(skin / "skin.ini") << "config = config.txt\n[main BackGroundImage]\nimage = bg.bmp\n";
    std::ofstream(skin / "config.txt", std::ios::binary) << configText;
    fs::create_directories(game);
    fs::copy_file(BuiltFile("tools/tarvos-cli/tarvos-cli"), game / "tarvos-cli",
                  fs::copy_options::overwrite_existing, ec);
    if (ec) return "cannot copy tarvos-cli: " + ec.message();
    const std::string pack = Quoted(BuiltFile("tools/tarvos-pack/tarvos-pack"));
    const fs::path package = skin / "package.bin";
    for (const std::string& command :
         {pack + " build " + Quoted(skin) + " -o " + Quoted(package),
          pack + " inject " + Quoted(package) + " " + Quoted(game / "tarvos-cli")}) {
        const CommandResult r = RunCommand(command);
        if (r.code != 0) return command + ": " + r.out;
    }
    fs::remove_all(skin, ec);
    return {};
}

// Runs the launcher in `game` (also its working folder) with the arguments.
inline CommandResult RunLauncher(const std::filesystem::path& game, const std::string& arguments) {
    return RunCommand("cd " + Quoted(game) + " && ./tarvos-cli " + arguments + " </dev/null");
}

}  // namespace tarvos::test
