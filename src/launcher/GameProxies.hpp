#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/uConfigData.hpp"
#include "platform/EventLoop.hpp"

namespace tarvos {

// Which game proxy answers: all candidates are connected to at once and the first to
// connect wins, within a deadline. Holds the main window's proxy state.
class TProxyCheck {
public:
    // The configuration's proxies and the language texts are read when used, so a language
    // changed in the meantime shows in the messages.
    TProxyCheck(const tGameProxysRecord& proxies, const TLanguageArray& texts, EventLoop& loop = MainLoop());

    // The main window's message panel (MsgShow) and status label (Text_Status).
    std::function<void(const std::string& text)> OnMsgShow;
    std::function<void(const std::string& text)> OnStatus;

    // 0 = automatic choice, n = the n-th configured proxy; every probe overwrites it with
    // its outcome: the winner's position in the probed list, or -1.
    std::int32_t ProxyIdx = 0;
    // The configuration entry of the proxy that answered; empty = none.
    std::string ProxyLine;

    // How long a probe waits at most, and the millisecond tick counter it measures with
    // (32 bits, wrapping; the steady clock when empty). Tests shorten and shift them.
    std::uint32_t DeadlineMs = 5000;
    std::function<std::uint32_t()> TickMs;

    // The user's stored choice: lower-cases and trims selProxy and sets ProxyIdx to the
    // last configured proxy of that name, 0 when it is "auto" or names none.
    void ResolveSelProxy(std::string& selProxy);

    // Connects to every entry's address (between its first and second "|") on port at
    // once and returns the entry that connected first, or empty text after the deadline.
    // Messages are processed while it waits; the list is its own copy meanwhile.
    std::string CheckProxyServers(std::vector<std::string> list, std::int32_t port);
    void ClientSocketConnect(int tag);
    void ClientSocketError(int tag, int errorCode);

    // End of a run: ProxyLine from the current choice (selProxy "auto", or ProxyIdx),
    // language text 18 or 21 shown when nothing answers.
    void LoadProxyList(const std::string& selProxy);

    // A proxy chosen in the settings window (index n = the n-th configured proxy): probed
    // at once; on success it becomes ProxyLine, else language text 21 is shown and
    // ProxyLine stays. Other indexes change nothing. True when it answered.
    bool CheckChosenProxy(std::int32_t index);

private:
    void Report(int slot);

    const tGameProxysRecord& proxies_;
    const TLanguageArray& texts_;
    EventLoop& loop_;
};

}  // namespace tarvos
