#pragma once
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

namespace tarvos::publish {

struct Options {
    std::filesystem::path game, server;
    std::optional<std::filesystem::path> required, deleted;  // name files
    unsigned jobs = 0;                                       // 0: one per processor
    std::string rar = "rar";                                 // a program name on the search path, or a path
};

// Turns the game folder into the server folder, repacking only what changed since the last
// run there. Reports progress on a terminal, a summary on out and every error on err, and
// returns the exit status (0: published; 1: nothing changed on the server).
int Publish(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace tarvos::publish
