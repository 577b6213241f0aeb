#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/EventLoop.hpp"
#include "platform/HandlerBoundary.hpp"
#include "platform/Terminate.hpp"

namespace tarvos {
namespace {

class EventLoopTest : public ::testing::Test {
protected:
    void TearDown() override { SetApplicationTerminated(false); }
    EventLoop loop_;
};

TEST_F(EventLoopTest, SynchronizeRunsOnTheLoopThreadAndHoldsTheWorker) {
    std::thread::id ranOn;
    std::atomic<bool> workerReturned{false};
    int value = 0;
    std::thread worker([&] {
        loop_.Synchronize([&] {
            ranOn = std::this_thread::get_id();
            value = 42;
        });
        workerReturned = true;  // only after the hand-over has run
        EXPECT_EQ(value, 42);
        loop_.Wake();
    });
    while (!workerReturned) loop_.WaitAndProcess();
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(EventLoopTest, SynchronizeOnTheLoopThreadRunsAtOnce) {
    bool ran = false;
    loop_.Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
}

// A throwing handler is shown and abandoned; everything around it goes on: later
// hand-overs, the worker that handed it over, a repeating timer, a probe in progress.
TEST_F(EventLoopTest, AThrowingHandlerIsReportedAndTheLoopGoesOn) {
    std::vector<std::string> shown;
    auto previous = SetHandlerErrorSink([&](const std::string& text) { shown.push_back(text); });
    std::vector<int> order;
    loop_.Post([&] { order.push_back(1); });
    loop_.Post([&] { throw std::runtime_error("handler failed"); });
    loop_.Post([&] { order.push_back(3); });
    loop_.ProcessMessages();
    EXPECT_EQ(order, (std::vector<int>{1, 3}));

    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        loop_.Synchronize([] { throw std::logic_error("worker's hand-over failed"); });
        workerDone = true;
        loop_.Wake();
    });
    Timer t(loop_, 1);
    int ticks = 0;
    t.OnTimer([&] {
        if (++ticks == 3) t.SetEnabled(false);
        throw 42;  // not even a std::exception
    });
    t.SetEnabled(true);
    RunWhileProcessing(loop_, [&] {
        while (!workerDone || t.Enabled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    worker.join();
    EXPECT_EQ(ticks, 3);
    SetHandlerErrorSink(previous);
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown[0], "handler failed");
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "worker's hand-over failed"), 1);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "Unknown error"), 3);
}

TEST_F(EventLoopTest, TerminateReleasesABlockedWorkerAndLaterHandOversAreSkipped) {
    std::atomic<bool> entered{false};
    std::atomic<bool> released{false};
    bool ran = false;
    std::thread worker([&] {
        entered = true;
        loop_.Synchronize([&] { ran = true; });  // nobody processes: only Terminate frees it
        released = true;
    });
    while (!entered) std::this_thread::yield();
    loop_.Terminate();
    worker.join();
    EXPECT_TRUE(released);
    EXPECT_TRUE(loop_.Terminated());
    std::thread late([&] { loop_.Synchronize([&] { ran = true; }); });
    late.join();
    loop_.ProcessMessages();  // the abandoned hand-over is gone, not run late
    EXPECT_FALSE(ran);
}

// Also with no interval, which is due again at once and must still fire once per pass.
TEST_F(EventLoopTest, TimerFiresRepeatedlyUntilDisabled) {
    for (const int interval : {10, 0}) {
        Timer t(loop_, interval);
        int ticks = 0;
        t.OnTimer([&] {
            if (++ticks == 3) t.SetEnabled(false);
        });
        t.SetEnabled(true);
        while (t.Enabled()) loop_.WaitAndProcess();
        EXPECT_EQ(ticks, 3);
        loop_.WaitAndProcessFor(30);
        EXPECT_EQ(ticks, 3);
    }
}

TEST_F(EventLoopTest, DisabledTimerNeverFires) {
    Timer t(loop_, 1);
    bool fired = false;
    t.OnTimer([&] { fired = true; });
    t.SetEnabled(true);
    t.SetEnabled(false);
    loop_.WaitAndProcessFor(20);
    EXPECT_FALSE(fired);
}

TEST_F(EventLoopTest, TimerEnabledFromAWorkerWakesAWaitingLoop) {
    Timer t(loop_, 5);
    std::atomic<bool> fired{false};
    t.OnTimer([&] {
        fired = true;
        t.SetEnabled(false);
    });
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        t.SetEnabled(true);
    });
    // No timer is due when the wait begins: only the worker's enabling can end it.
    while (!fired) loop_.WaitAndProcess();
    worker.join();
    EXPECT_TRUE(fired);
}

TEST_F(EventLoopTest, HandlerMayDestroyAnotherTimerOfTheSamePass) {
    auto victim = std::make_unique<Timer>(loop_, 1);
    Timer killer(loop_, 1);
    bool victimFired = false;
    victim->OnTimer([&] { victimFired = true; });
    killer.OnTimer([&] {
        victim.reset();
        killer.SetEnabled(false);
    });
    killer.SetEnabled(true);
    victim->SetEnabled(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    loop_.ProcessMessages();
    EXPECT_FALSE(killer.Enabled());
    EXPECT_FALSE(victim);
    EXPECT_FALSE(victimFired);
}

TEST_F(EventLoopTest, RunWhileProcessingKeepsTheLoopServing) {
    bool served = false;
    RunWhileProcessing(loop_, [&] {
        loop_.Synchronize([&] { served = true; });  // would deadlock on a blocked loop
    });
    EXPECT_TRUE(served);
    EXPECT_THROW(RunWhileProcessing(loop_, [] { throw std::runtime_error("x"); }), std::runtime_error);
}

}  // namespace
}  // namespace tarvos
