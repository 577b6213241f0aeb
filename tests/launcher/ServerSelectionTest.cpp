#include <gtest/gtest.h>

#include <set>

#include "launcher/ServerSelection.hpp"
#include "support/TestServer.hpp"

namespace tarvos {
namespace {

using test::TestServer;

class ServerSelectionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<TestServer>(); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override {
        if (!server_->Available()) GTEST_SKIP() << server_->Why();
        token_ = TestServer::NewToken();
        options_.log = [this](const std::string& line) { log_.push_back(line); };
    }

    // A server entry (folder URL with its trailing "/") with the given behaviour.
    std::string Entry(const std::string& options, const std::string& folder = "srv") const {
        return server_->Base() + "/t/" + token_ + "/" + options + "/" + folder + "/";
    }
    std::vector<std::string> Paths() const {
        std::vector<std::string> paths;
        for (const auto& line : server_->Log(token_)) paths.push_back(line.substr(0, line.rfind(' ')));
        return paths;
    }

    static std::unique_ptr<TestServer> server_;
    std::string token_;
    ServerSelectionOptions options_;
    std::vector<std::string> log_;
};
std::unique_ptr<TestServer> ServerSelectionTest::server_;

TEST_F(ServerSelectionTest, NothingConfiguredGivesEmpty) {
    tUpdateServersRecord s;
    s.UsePing = true;
    EXPECT_EQ(CheckUpdateServers(s, options_), "");
    EXPECT_TRUE(log_.empty());
}

TEST_F(ServerSelectionTest, SingleServerIsUsedWithoutAnyRequest) {
    tUpdateServersRecord s{true, true, {Entry("fail")}};
    EXPECT_EQ(CheckUpdateServers(s, options_), Entry("fail"));
    EXPECT_TRUE(Paths().empty());
    EXPECT_TRUE(log_.empty());
}

TEST_F(ServerSelectionTest, FailedFirstServerIsRemoved) {
    const std::string bad = Entry("fail", "a"), good = Entry("size=1", "b");
    tUpdateServersRecord ping{true, false, {bad, good}};
    EXPECT_EQ(CheckUpdateServers(ping, options_), good);
    EXPECT_EQ(ping.Servers, std::vector<std::string>{good});
    EXPECT_EQ(log_, std::vector<std::string>{"Selected server: " + good});

    // Without a flag the first entry is returned although its probe failed, unlogged.
    log_.clear();
    tUpdateServersRecord plain{false, false, {bad, good}};
    EXPECT_EQ(CheckUpdateServers(plain, options_), bad);
    EXPECT_EQ(plain.Servers, std::vector<std::string>{good});
    EXPECT_TRUE(log_.empty());
}

TEST_F(ServerSelectionTest, AllFailingGivesTheFirstEntry) {
    tUpdateServersRecord s{true, false, {Entry("fail", "a"), Entry("fail", "b")}};
    EXPECT_EQ(CheckUpdateServers(s, options_), Entry("fail", "a"));
    EXPECT_TRUE(s.Servers.empty());
}

TEST_F(ServerSelectionTest, PingChoosesTheFasterServer) {
    const std::string slow = Entry("size=1,delay=120", "a"), fast = Entry("size=1,delay=80", "b");
    tUpdateServersRecord s{true, false, {slow, fast}};
    EXPECT_EQ(CheckUpdateServers(s, options_), fast);
    EXPECT_EQ(Paths().size(), 2u);
    for (const auto& p : Paths()) EXPECT_EQ(p.substr(0, 5), "HEAD ");  // probes carry no body
}

TEST_F(ServerSelectionTest, PingKeepsTheEarlierOfEqualTimes) {
    options_.nowMs = [] { return int64_t{40}; };  // every probe takes no time at all
    tUpdateServersRecord s{true, false, {Entry("size=1", "a"), Entry("size=1", "b")}};
    EXPECT_EQ(CheckUpdateServers(s, options_), Entry("size=1", "a"));
}

TEST_F(ServerSelectionTest, PingWithNoServerUnderTheCeilingGivesEmptyAndLogsIt) {
    int64_t clock = 0;
    options_.nowMs = [&] { return clock += 1000; };  // every probe takes 1000 ms or more
    tUpdateServersRecord s{true, false, {Entry("size=1", "a"), Entry("size=1", "b")}};
    EXPECT_EQ(CheckUpdateServers(s, options_), "");
    EXPECT_EQ(log_, std::vector<std::string>{"Selected server: "});
}

// A server that takes the connection and then says nothing fails its probe at the stall
// limit, while the others are probed meanwhile.
TEST_F(ServerSelectionTest, ASilentServerFailsItsProbeAtTheStallLimit) {
    const std::string silent = Entry("size=1,delay=25000", "a"), good = Entry("size=1", "b");
    tUpdateServersRecord s{true, false, {silent, good}};
    EXPECT_EQ(CheckUpdateServers(s, options_), good);
    EXPECT_EQ(s.Servers, std::vector<std::string>{good});
}

TEST_F(ServerSelectionTest, RandomDrawsOnlyAmongSurvivors) {
    const std::string a = Entry("size=1", "a"), b = Entry("fail", "b"), c = Entry("size=1", "c");
    std::set<std::string> drawn;
    for (int i = 0; i < 40; ++i) {
        tUpdateServersRecord s{false, true, {a, b, c}};
        drawn.insert(CheckUpdateServers(s, options_));
    }
    EXPECT_EQ(drawn, (std::set<std::string>{a, c}));
    EXPECT_EQ(log_.size(), 40u);
}

TEST_F(ServerSelectionTest, ProbeUrlGetsABackslashSentAsSlash) {
    const std::string bare = server_->Base() + "/t/" + token_ + "/size=1/bare";
    const std::string slashed = Entry("size=1", "slashed");
    tUpdateServersRecord s{true, false, {"  " + bare + " ", slashed}};
    CheckUpdateServers(s, options_);
    const auto paths = Paths();  // probed at once: in either order
    EXPECT_EQ(std::multiset<std::string>(paths.begin(), paths.end()),
              (std::multiset<std::string>{"HEAD /t/" + token_ + "/size=1/bare/updater.lst.ta2",
                                          "HEAD /t/" + token_ + "/size=1/slashed//updater.lst.ta2"}));
    EXPECT_EQ(s.Servers.front(), "  " + bare + " ");  // stored untrimmed
}

}  // namespace
}  // namespace tarvos
