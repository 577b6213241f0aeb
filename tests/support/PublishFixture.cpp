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
    // Further options, as written (a test's signing key, for one).
    const auto options = std::filesystem::path(deleteFile).parent_path() / "options.txt";
    if (std::filesystem::exists(options)) {
        std::ifstream in(options);
        cmd += " " + std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0 ? "" : "the publishing tool failed: " + cmd;
}

}  // namespace tarvos::test
