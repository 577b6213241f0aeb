#pragma once
// A published game, a player's folder and the controller that updates it, for the pipeline's
// end-to-end tests (native and under Wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "config/uConfigData.hpp"
#include "inventory/uClasses.hpp"
#include "launcher/RecordingView.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/DateTime.hpp"
#include "platform/FileTimes.hpp"
#include "platform/Text.hpp"
#include "support/TestServer.hpp"

namespace tarvos::test {

namespace fs = std::filesystem;

inline double Date(int year, int month, int day, int hour, int minute, int second, int ms) {
    return *EncodeDateTime({year, month, day, hour, minute, second, ms});
}

inline void WriteBytes(const fs::path& p, const std::string& data) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc) << data;
}

inline std::string Bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string Generated(size_t n, unsigned seed) {
    std::string s(n, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (auto& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return s;
}

// Every regular file below a folder, by relative path with "/" separators.
inline std::set<std::string> FilesBelow(const fs::path& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) out.insert(fs::relative(e.path(), dir).generic_string());
    return out;
}

inline std::string ListName(const std::string& rel) {
    std::string n = "\\" + rel;
    std::replace(n.begin(), n.end(), '/', '\\');
    return n;
}

class PipelineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server_.Available()) GTEST_SKIP() << server_.Why();
        if (server_.FilesRoot().empty()) GTEST_SKIP() << "the test server serves no files here";
        root_ = PathFromUtf8(server_.FilesRoot()) / token_;
        game_ = root_ / "game";
        player_ = PathFromUtf8(playerDir_.Path()) / "outside" / "player";
        fs::create_directories(game_);
        fs::create_directories(player_ / "updater");
        WriteBytes(player_.parent_path() / "sentinel.txt", "outside the game folder");
        for (size_t i = 0; i < lang_.size(); ++i) lang_[i] = "<" + std::to_string(i) + ">";
        debug_.enabled = true;
        view_.Print = std::getenv("TARVOS_TEST_VERBOSE") != nullptr;
    }

    void AddGameFile(const std::string& rel, const std::string& data, double date) {
        WriteBytes(game_ / rel, data);
        ASSERT_TRUE(SetFileTimesLocal(PathToUtf8(game_ / rel), 6, date));
    }
    void WriteBeside(const std::string& name, const std::string& text) { WriteBytes(root_ / name, text); }
    void Publish() { ASSERT_EQ(server_.Publish(token_), ""); }
    fs::path ServerFolder() const { return root_ / "server"; }
    std::string Url(const std::string& options = "") const {
        return server_.FolderUrl(token_, options) + "server/";
    }

    // The server's list as published.
    std::unique_ptr<TFileList> ServerList() const {
        std::vector<std::string> lines = ReadTextLines(PathToUtf8(ServerFolder() / "updater.lst"));
        auto marker = std::find_if(lines.begin(), lines.end(),
                                   [](const std::string& l) { return l.rfind('#', 0) == 0; });
        lines.erase(marker, lines.end());
        auto list = std::make_unique<TFileList>(true);
        list->LoadFromStrings(lines);
        return list;
    }

    std::unique_ptr<TFMain> MakeMain(const std::string& checkMode, int workers, const std::string& url,
                                     Shell& shell = SystemShell()) {
        auto main = std::make_unique<TFMain>(view_, MainLoop(), lang_, shell, &debug_);
        main->MainPath = PathToUtf8(player_);
        main->TmpPath = main->MainPath + "\\updater";
        main->URLMain = url;
        main->DriveType = workers == 3 ? "SSD" : "HDD";
        main->CheckMode = checkMode;
        main->ExeName = "tarvos.exe";
        return main;
    }

    // The packed files fetched from the server, by list name, in name order (several are
    // fetched at once).
    std::vector<std::string> Downloaded() const {
        std::vector<std::string> out;
        const std::string marker = "/server/";
        for (const auto& line : server_.Log(token_)) {
            if (line.rfind("GET ", 0) != 0) continue;
            const auto at = line.find(marker);
            const auto end = line.find(".ta2 ");
            if (at == std::string::npos || end == std::string::npos) continue;
            const std::string name = ListName(line.substr(at + marker.size(), end - at - marker.size()));
            if (name != "\\updater.lst" && std::find(out.begin(), out.end(), name) == out.end())
                out.push_back(name);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    bool Logged(const std::string& line) const {
        return std::find(debug_.ts.begin(), debug_.ts.end(), line) != debug_.ts.end();
    }

    TestServer server_;
    std::string token_ = TestServer::NewToken();
    TempDir playerDir_;
    fs::path root_, game_, player_;
    TLanguageArray lang_;
    tDebugFile debug_;
    RecordingView view_;
};

}  // namespace tarvos::test
