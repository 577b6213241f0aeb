// tarvos-publish: turns a game folder into an update server's folder.
#include <iostream>
#include <string>
#include <vector>

#include "Publisher.hpp"
#include "platform/Error.hpp"
#include "platform/ProgramArguments.hpp"
#include "platform/Text.hpp"
#include "transfer/BlockIndex.hpp"

using namespace tarvos;
using namespace tarvos::publish;

namespace {

int Usage() {
    std::cerr
        << "usage: tarvos-publish GAME_DIR SERVER_DIR [--required FILE] [--delete FILE] [--jobs N] [--rar "
           "PROGRAM]\n"
           "                      [--sign KEYFILE [--serial N] [--expires AGE] [--next-key KEYFILE]] [--rehash]\n"
           "                      [--delta-min-size SIZE]\n"
           "       tarvos-publish keygen KEYFILE\n"
           "  Makes one RAR archive per file (name + \".ta2\"), \"updater.lst\" and \"updater.lst.ta2\" in\n"
           "  SERVER_DIR; a later run repacks only files whose size or date changed.\n"
           "  --required FILE  names (one a line) the launcher checks at every start\n"
           "  --delete FILE    names the launcher deletes from the game folder\n"
           "  --jobs N         rar processes at a time (default: one per processor)\n"
           "  --rar PROGRAM    the rar program (default: rar on the search path)\n"
           "  --sign KEYFILE   sign updater.lst.ta2 with the secret key (writes updater.lst.ta2.sig)\n"
           "  --serial N       the release's serial (default: one above the last, kept in KEYFILE.serial)\n"
           "  --expires AGE    launchers refuse the list AGE after now (30d, 12h)\n"
           "  --next-key KEYFILE  announce the key to follow and sign with it as well\n"
           "  --rehash         compare the digest of every file, not only its size and date\n"
           "  --delta-min-size SIZE  files of at least SIZE bytes (suffix K, M or G; at least 1M) also\n"
           "                   get a block index and an uncompressed copy, so that launchers fetch\n"
           "                   only their changed blocks\n"
           "  keygen KEYFILE   writes a new key pair: KEYFILE (secret) and KEYFILE.pub\n";
    return 2;
}

// "200M", "1G", "1048576"; -1 when it is none of these.
int64_t ParseSize(const std::string& text) {
    size_t digits = text.find_first_not_of("0123456789");
    if (digits == 0 || text.size() > 14) return -1;
    int64_t value = std::stoll(text.substr(0, digits));
    if (digits == std::string::npos) return value;
    if (digits + 1 != text.size()) return -1;
    switch (text[digits]) {
        case 'k': case 'K': return value << 10;
        case 'm': case 'M': return value << 20;
        case 'g': case 'G': return value << 30;
        default: return -1;
    }
}

// "30d" or "12h" in seconds; -1 when it is neither.
int64_t ParseAge(const std::string& text) {
    if (text.size() < 2 || text.size() > 6 || text.find_first_not_of("0123456789") != text.size() - 1) return -1;
    const int64_t value = std::stoll(text.substr(0, text.size() - 1));
    if (value < 1) return -1;
    switch (text.back()) {
        case 'd': return value * 86400;
        case 'h': return value * 3600;
        default: return -1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const auto args = ProgramArguments(argc, argv);
    if (!args.empty() && args[0] == "keygen") {
        if (args.size() != 2) return Usage();
        try {
            return MakeKeys(PathFromUtf8(args[1]), std::cout, std::cerr);
        } catch (const std::exception& e) {
            std::cerr << "tarvos-publish: " << e.what() << std::endl;
            return 1;
        }
    }
    Options o;
    std::vector<std::string> folders;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--required" && hasValue) {
            o.required = PathFromUtf8(args[++i]);
        } else if (a == "--delete" && hasValue) {
            o.deleted = PathFromUtf8(args[++i]);
        } else if (a == "--sign" && hasValue) {
            o.signKey = PathFromUtf8(args[++i]);
        } else if (a == "--next-key" && hasValue) {
            o.nextKey = PathFromUtf8(args[++i]);
        } else if (a == "--serial" && hasValue) {
            const std::string& n = args[++i];
            if (n.empty() || n.size() > 18 || n.find_first_not_of("0123456789") != std::string::npos) return Usage();
            o.serial = std::stoull(n);
            if (o.serial == 0) return Usage();
        } else if (a == "--expires" && hasValue) {
            o.expiresAfter = ParseAge(args[++i]);
            if (o.expiresAfter < 0) return Usage();
        } else if (a == "--rehash") {
            o.rehash = true;
        } else if (a == "--delta-min-size" && hasValue) {
            o.deltaMinSize = ParseSize(args[++i]);
            if (o.deltaMinSize < kDeltaFloor) return Usage();
        } else if (a == "--rar" && hasValue) {
            o.rar = args[++i];
        } else if (a == "--jobs" && hasValue) {
            const std::string& n = args[++i];
            if (n.empty() || n.size() > 4 || n.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(n) < 1)
                return Usage();
            o.jobs = static_cast<unsigned>(std::stoi(n));
        } else if (a == "-h" || a == "--help") {
            Usage();
            return 0;
        } else if (a.starts_with("--")) {
            return Usage();
        } else {
            folders.push_back(a);
        }
    }
    if (folders.size() != 2) return Usage();
    // A release's serial, expiry and next key mean something only to launchers with a key.
    if (!o.signKey && (o.nextKey || o.serial || o.expiresAfter)) return Usage();
    o.game = PathFromUtf8(folders[0]);
    o.server = PathFromUtf8(folders[1]);
    try {
        return Publish(o, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "tarvos-publish: " << e.what() << std::endl;
        return 1;
    }
}
