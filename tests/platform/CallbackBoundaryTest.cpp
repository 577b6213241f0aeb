// Every function that Windows or a C library calls back must forward into the handler
// boundary: the 32-bit build dies when an exception unwinds through such a frame, and only
// a 32-bit run could show it. Reading the sources catches a new unguarded callback anywhere.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// The position after the bracket that closes the one at open.
size_t Matching(const std::string& s, size_t open, char o, char c) {
    int depth = 0;
    for (size_t i = open; i < s.size(); ++i) {
        if (s[i] == o) ++depth;
        if (s[i] == c && --depth == 0) return i + 1;
    }
    return std::string::npos;
}

// "file:line name" of each callback definition whose body is not a forward into the boundary.
std::vector<std::string> UnguardedCallbacks(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    static const std::regex callback(R"(\b(CALLBACK|WINAPI|APIENTRY|NTAPI|STDMETHODCALLTYPE)\s+([A-Za-z_][\w:]*)\s*\()");
    std::vector<std::string> found;
    for (std::sregex_iterator it(s.begin(), s.end(), callback), end; it != end; ++it) {
        size_t paren = static_cast<size_t>(it->position(0) + it->length(0) - 1);
        size_t after = Matching(s, paren, '(', ')');
        if (after == std::string::npos) continue;
        size_t brace = s.find_first_of("{;", after);
        if (brace == std::string::npos || s[brace] == ';') continue;  // a declaration
        size_t close = Matching(s, brace, '{', '}');
        std::string body = s.substr(brace + 1, close - brace - 2);
        static const std::regex forward(R"(^\s*(return\s+)?(CallbackBoundary|RunHandler)\b)");
        if (!std::regex_search(body, forward)) {
            auto line = std::count(s.begin(), s.begin() + static_cast<long>(brace), '\n') + 1;
            found.push_back(path + ":" + std::to_string(line) + " " + (*it)[2].str());
        }
    }
    return found;
}

TEST(CallbackBoundary, EveryWindowsCallbackForwardsIntoTheBoundary) {
    const char* root = std::getenv("TARVOS_SOURCE_DIR");
    if (!root || !fs::is_directory(fs::path(root) / "src")) GTEST_SKIP() << "sources not reachable";
    std::vector<std::string> unguarded;
    int callbacks = 0;
    for (const char* dir : {"src", "tools"}) {
        for (const auto& e : fs::recursive_directory_iterator(fs::path(root) / dir)) {
            const auto ext = e.path().extension();
            if (ext != ".cpp" && ext != ".hpp") continue;
            auto more = UnguardedCallbacks(e.path().string());
            unguarded.insert(unguarded.end(), more.begin(), more.end());
            std::ifstream in(e.path());
            std::string all((std::istreambuf_iterator<char>(in)), {});
            callbacks += all.find(" CALLBACK ") != std::string::npos;
        }
    }
    EXPECT_GT(callbacks, 0) << "the scan found no callback at all: is it still looking at the sources?";
    for (const auto& u : unguarded) ADD_FAILURE() << u << " is called back by Windows but does not forward into CallbackBoundary";
}

}  // namespace
