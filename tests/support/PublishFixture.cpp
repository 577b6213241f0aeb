#include "support/PublishFixture.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tarvos::test {
namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

std::string PublishFolder(const std::string& game, const std::string& server, const std::string& requiredFile,
                          const std::string& deleteFile) {
    const char* tool = std::getenv("TARVOS_PUBLISH");
    if (!tool || !*tool) return "no publishing tool named in TARVOS_PUBLISH";
    std::string cmd = Quote(tool) + " " + Quote(game) + " " + Quote(server);
    if (std::filesystem::exists(requiredFile)) cmd += " --required " + Quote(requiredFile);
    if (std::filesystem::exists(deleteFile)) cmd += " --delete " + Quote(deleteFile);
    // Further options, as written, "{dir}" standing for this folder (a test's signing key,
    // for one: a test under Wine cannot name a path of this side).
    const std::string dir = std::filesystem::path(deleteFile).parent_path().string();
    if (std::ifstream in(dir + "/options.txt"); in) {
        std::string options(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>{});
        for (size_t at; (at = options.find("{dir}")) != std::string::npos;) options.replace(at, 5, dir);
        cmd += " " + options;
    }
    return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0 ? "" : "the publishing tool failed: " + cmd;
}

}  // namespace tarvos::test
