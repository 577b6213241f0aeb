#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/EventLoop.hpp"
#include "platform/TcpConnector.hpp"
#include "support/LoopbackListener.hpp"

namespace tarvos {
namespace {

struct Outcome {
    int tag;
    int error;
    std::thread::id thread;
};

class TcpConnectorTest : public ::testing::Test {
protected:
    void Watch(TcpConnector& c) {
        c.OnConnect = [this](int tag) { seen_.push_back({tag, 0, std::this_thread::get_id()}); };
        c.OnError = [this](int tag, int error) { seen_.push_back({tag, error, std::this_thread::get_id()}); };
    }
    // Processes messages until n outcomes came or the time is up.
    void WaitFor(size_t n, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (seen_.size() < n && std::chrono::steady_clock::now() < end) loop_.WaitAndProcessFor(50);
    }

    EventLoop loop_;
    test::LoopbackListener listener_;
    std::vector<Outcome> seen_;
};

TEST_F(TcpConnectorTest, OutcomesArriveOnTheLoopThreadOnly) {
    TcpConnector c(loop_);
    Watch(c);
    EXPECT_TRUE(c.Connect(7, "127.0.0.1", listener_.Port()));
    EXPECT_TRUE(c.Connect(8, "127.0.0.2", listener_.Port()));  // same port, nobody listening
    for (const char* bad : {"", "localhost", "1.2.3", "1.2.3.4.5", "256.0.0.1", "1..2.3", "1.2.3.4 x"})
        EXPECT_FALSE(c.Connect(9, bad, listener_.Port())) << bad;
    EXPECT_FALSE(c.Connect(9, "127.0.0.1", 0));
    EXPECT_FALSE(c.Connect(9, "127.0.0.1", 65536));
    EXPECT_TRUE(seen_.empty()) << "an outcome must never come from inside Connect";
    EXPECT_EQ(c.Pending(), 2);

    WaitFor(2, 10000);
    ASSERT_EQ(seen_.size(), 2u);
    for (const auto& o : seen_) {
        EXPECT_EQ(o.thread, std::this_thread::get_id());
        if (o.tag == 7) {
            EXPECT_EQ(o.error, 0);
        } else {
            EXPECT_NE(o.error, 0) << "the refused attempt";
        }
    }
    EXPECT_EQ(c.Pending(), 0);
    loop_.WaitAndProcessFor(100);
    EXPECT_EQ(seen_.size(), 2u) << "one outcome per attempt";
}

// Closed attempts stay silent, and a handler may end the whole connector.
TEST_F(TcpConnectorTest, ClosedAttemptsAndDestroyedConnectorsStaySilent) {
    auto c = std::make_unique<TcpConnector>(loop_);
    Watch(*c);
    c->Connect(1, "127.0.0.1", listener_.Port());
    c->Close(1);
    c->Connect(3, "127.0.0.1", listener_.Port());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // its outcome waits in the queue by now
    c->Close(3);
    c->Connect(2, "127.0.0.1", listener_.Port());
    c->Connect(2, "127.0.0.2", listener_.Port());  // the tag again: the first attempt is gone
    WaitFor(1, 10000);
    loop_.WaitAndProcessFor(200);
    ASSERT_EQ(seen_.size(), 1u);
    EXPECT_EQ(seen_[0].tag, 2);
    EXPECT_NE(seen_[0].error, 0);

    seen_.clear();
    c->OnConnect = [&](int tag) {
        seen_.push_back({tag, 0, {}});
        c.reset();
    };
    for (int tag = 0; tag < 20; ++tag) c->Connect(tag, "127.0.0.1", listener_.Port());
    WaitFor(1, 10000);
    loop_.WaitAndProcessFor(200);
    EXPECT_EQ(seen_.size(), 1u) << "nothing after the connector is gone";
    EXPECT_EQ(c, nullptr);
}

}  // namespace
}  // namespace tarvos
