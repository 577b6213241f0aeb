#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "launcher/GameProxies.hpp"
#include "launcher/UserSettings.hpp"
#include "support/LoopbackListener.hpp"

namespace tarvos {
namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

class GameProxiesTest : public ::testing::Test {
protected:
    GameProxiesTest() : check_(proxies_, texts_, loop_) {
        texts_[18] = "no proxy answers";
        texts_[21] = "your proxy does not answer";
        proxies_.UseProxy = true;
        proxies_.Port = listener_.Port();
        check_.OnMsgShow = [this](const std::string& t) { shown_.push_back("msg:" + t); };
        check_.OnStatus = [this](const std::string& t) { shown_.push_back("status:" + t); };
    }

    // Entries whose address refuses, cannot be used, or has no field at all; none answers.
    std::vector<std::string> Silent() const {
        return {"Refused|127.0.0.2|a.ini", "Named|proxy.example|b.ini", "NoFields", "Empty||c.ini",
                "Refused too | 127.0.0.3 | d.ini"};
    }

    EventLoop loop_;
    test::LoopbackListener listener_;
    tGameProxysRecord proxies_;
    TLanguageArray texts_;
    TProxyCheck check_;
    std::vector<std::string> shown_;
};

// Every candidate is tried at once: one that never answers does not hold up the others.
TEST_F(GameProxiesTest, TheFirstToConnectEndsTheWait) {
    check_.DeadlineMs = 60000;
    test::LoopbackListener hanging(0x7F000004, listener_.Port(), true);
    auto list = Silent();
    list.insert(list.begin(), "Hanging|127.0.0.4|h.ini");
    const std::string live = " Live | 127.0.0.1 | live.ini";
    list.insert(list.begin() + 4, live);
    const auto began = Clock::now();
    EXPECT_EQ(check_.CheckProxyServers(list, listener_.Port()), live);
    EXPECT_LT(MsSince(began), 30000) << "ended by the connection, not by the deadline";
    EXPECT_EQ(check_.ProxyIdx, 4);
}

// Refusals do not end the wait; only the deadline does, measured with a 32-bit tick
// counter that overflows on the way.
TEST_F(GameProxiesTest, NoAnswerWaitsTheDeadlineAcrossTheTickOverflow) {
    check_.DeadlineMs = 400;
    const auto began = Clock::now();
    check_.TickMs = [&] {
        const long long ms = MsSince(began);
        if (ms > 5000) throw std::runtime_error("the wait did not end");
        return static_cast<std::uint32_t>(0xFFFFFF00u + static_cast<std::uint32_t>(ms));
    };
    EXPECT_EQ(check_.CheckProxyServers(Silent(), listener_.Port()), "");
    EXPECT_GE(MsSince(began), 400);
    EXPECT_EQ(check_.ProxyIdx, -1);
    EXPECT_EQ(check_.CheckProxyServers({}, listener_.Port()), "");
}

// A probe started by a handler while another waits (the settings window during the end
// of the run) has its own winner.
TEST_F(GameProxiesTest, ANestedProbeDoesNotEndTheOuterOne) {
    check_.DeadlineMs = 400;
    std::string inner;
    loop_.Post([&] { inner = check_.CheckProxyServers({"Live|127.0.0.1|live.ini"}, listener_.Port()); });
    const auto began = Clock::now();
    EXPECT_EQ(check_.CheckProxyServers(Silent(), listener_.Port()), "");
    EXPECT_GE(MsSince(began), 390);  // the whole deadline, give or take the clocks' rounding
    EXPECT_EQ(inner, "Live|127.0.0.1|live.ini");
    EXPECT_EQ(check_.ProxyIdx, -1);
}

TEST_F(GameProxiesTest, LoadProxyListFollowsTheChoiceAndSaysWhatFailed) {
    check_.DeadlineMs = 300;
    proxies_.Servers = {"First|127.0.0.2|first.ini", "Second|127.0.0.1|second.ini",
                        "second|127.0.0.3|third.ini"};

    std::string sel = " SECOND ";
    check_.ResolveSelProxy(sel);
    EXPECT_EQ(sel, "second");
    EXPECT_EQ(check_.ProxyIdx, 3) << "the last entry of that name";
    check_.LoadProxyList(sel);
    EXPECT_EQ(check_.ProxyLine, "");
    EXPECT_EQ(shown_, (std::vector<std::string>{"msg:your proxy does not answer",
                                                "status:your proxy does not answer"}));

    shown_.clear();
    sel = "Auto";
    check_.ResolveSelProxy(sel);
    EXPECT_EQ(check_.ProxyIdx, 0);
    check_.LoadProxyList(sel);
    EXPECT_EQ(check_.ProxyLine, "Second|127.0.0.1|second.ini");
    EXPECT_TRUE(shown_.empty());

    // The stored choice names a proxy no longer configured.
    check_.ProxyIdx = 4;
    check_.LoadProxyList("gone");
    EXPECT_EQ(check_.ProxyLine, "");
    EXPECT_EQ(shown_, (std::vector<std::string>{"msg:your proxy does not answer",
                                                "status:your proxy does not answer"}));

    shown_.clear();
    proxies_.Servers = {"First|127.0.0.2|first.ini"};
    check_.LoadProxyList("auto");
    EXPECT_EQ(shown_, (std::vector<std::string>{"msg:no proxy answers", "status:no proxy answers"}));

    shown_.clear();
    check_.ProxyLine = "left over";
    proxies_.UseProxy = false;
    const auto began = Clock::now();
    check_.LoadProxyList("auto");
    EXPECT_LT(MsSince(began), 300) << "no probe at all";
    EXPECT_EQ(check_.ProxyLine, "");
    EXPECT_TRUE(shown_.empty());
}

// The settings window: a chosen proxy is probed at once; one that fails keeps the last.
TEST_F(GameProxiesTest, AChoiceInTheSettingsWindowIsProbedAtOnce) {
    check_.DeadlineMs = 300;
    proxies_.Servers = {"Dead|127.0.0.2|dead.ini", "Live|127.0.0.1|live.ini"};
    TUserSettings s;
    TSettingsChoice c;
    c.ProxyEnabled = true;
    c.ProxyIndex = 2;
    c.ProxyText = "Live";
    c.DriveTypeEnabled = true;
    c.DriveTypeIndex = 1;
    c.CheckTypeEnabled = true;
    c.CheckTypeIndex = 2;
    c.AutoCloseChecked = true;  // its box is disabled: no change
    ApplySettingsChoice(c, s, check_);
    EXPECT_EQ(check_.ProxyLine, "Live|127.0.0.1|live.ini");
    EXPECT_EQ(s.SelProxy, "Live");
    EXPECT_EQ(s.DriveType, "SSD");
    EXPECT_EQ(s.CheckMode, "Light: Previous List");
    EXPECT_FALSE(s.AutoClose);
    EXPECT_TRUE(shown_.empty());

    c.ProxyIndex = 1;
    c.ProxyText = "Dead";
    ApplySettingsChoice(c, s, check_);
    EXPECT_EQ(check_.ProxyLine, "Live|127.0.0.1|live.ini") << "a failed choice keeps the proxy in use";
    EXPECT_EQ(s.SelProxy, "Dead");
    EXPECT_EQ(shown_, (std::vector<std::string>{"msg:your proxy does not answer",
                                                "status:your proxy does not answer"}));

    shown_.clear();
    c.ProxyIndex = 0;
    c.ProxyText = "Auto";
    ApplySettingsChoice(c, s, check_);
    EXPECT_EQ(check_.ProxyLine, "Live|127.0.0.1|live.ini");
    EXPECT_EQ(check_.ProxyIdx, 0);
    EXPECT_TRUE(shown_.empty());

    c.ProxyEnabled = false;
    ApplySettingsChoice(c, s, check_);
    EXPECT_EQ(s.SelProxy, "Auto");
}

}  // namespace
}  // namespace tarvos
