#pragma once
#include <filesystem>
#include <iosfwd>
#include <cstdint>
#include <optional>
#include <string>

namespace tarvos::publish {

struct Options {
    std::filesystem::path game, server;
    std::optional<std::filesystem::path> required, deleted;  // name files
    unsigned jobs = 0;                                       // 0: one per processor
    std::string rar = "rar";                                 // a program name on the search path, or a path
    std::optional<std::filesystem::path> signKey;            // secret key file: sign updater.lst.ta2
    std::optional<std::filesystem::path> nextKey;            // secret key file of the key to follow
    uint64_t serial = 0;                                     // 0: one above the last release's
    int64_t expiresAfter = 0;                                // seconds from now; 0: never
    bool rehash = false;                                     // compare every file's digest, not only its size and date
    int64_t deltaMinSize = 0;                                // files at least this large get a block index; 0: none
};

// Writes a new key pair for signing the list: the secret key into keyFile (its owner alone
// may read it), the public key into keyFile + ".pub"; prints the public key and the line
// for the launcher's configuration. Returns the exit status.
int MakeKeys(const std::filesystem::path& keyFile, std::ostream& out, std::ostream& err);

// Turns the game folder into the server folder, repacking only what changed since the last
// run there. Reports progress on a terminal, a summary on out and every error on err, and
// returns the exit status (0: published; 1: nothing changed on the server).
int Publish(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace tarvos::publish
