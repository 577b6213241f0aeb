#include "launcher/GameProxies.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "platform/TcpConnector.hpp"
#include "platform/Text.hpp"

namespace tarvos {
namespace {

constexpr int kTextNoProxy = 18;
constexpr int kTextChosenProxyFailed = 21;

std::uint32_t SteadyTick() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The address field: strictly between the first and the second "|".
std::string ProxyAddress(const std::string& entry) {
    const size_t first = entry.find('|');
    if (first == std::string::npos) return {};
    const size_t second = entry.find('|', first + 1);
    return TrimText(
        entry.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1));
}

std::string ProxyName(const std::string& entry) {
    const size_t bar = entry.find('|');
    return bar == std::string::npos ? std::string() : LowerUser(TrimText(entry.substr(0, bar)));
}

}  // namespace

TProxyCheck::TProxyCheck(const tGameProxysRecord& proxies, const TLanguageArray& texts, EventLoop& loop)
    : proxies_(proxies), texts_(texts), loop_(loop) {}

void TProxyCheck::ResolveSelProxy(std::string& selProxy) {
    selProxy = LowerUser(TrimText(selProxy));
    ProxyIdx = 0;
    if (selProxy == "auto") return;
    for (size_t i = 0; i < proxies_.Servers.size(); ++i)
        if (ProxyName(proxies_.Servers[i]) == selProxy) ProxyIdx = static_cast<std::int32_t>(i) + 1;
}

std::string TProxyCheck::CheckProxyServers(std::vector<std::string> list, std::int32_t port) {
    if (list.empty()) return {};
    // The winner of this call alone: a probe started from a handler while this one waits
    // (the settings window) must not end this wait with its own result.
    std::int32_t won = -1;
    TcpConnector sockets(loop_);
    sockets.OnConnect = [&](int tag) {
        won = tag;
        ClientSocketConnect(tag);
    };
    sockets.OnError = [&](int tag, int errorCode) { ClientSocketError(tag, errorCode); };
    // Entries that cannot be connected to (no numeric address) just never answer.
    for (size_t i = 0; i < list.size(); ++i)
        sockets.Connect(static_cast<int>(i), ProxyAddress(list[i]), port);

    ProxyIdx = -1;
    const auto tick = TickMs ? TickMs : SteadyTick;
    const std::uint32_t began = tick();
    while (won < 0 && !loop_.Terminated()) {
        const std::uint32_t elapsed = tick() - began;  // wrapping: right across the counter's overflow
        if (elapsed >= DeadlineMs) break;
        loop_.WaitAndProcessFor(static_cast<int>(std::min<std::uint32_t>(DeadlineMs - elapsed, INT32_MAX)));
    }
    sockets.CloseAll();
    ProxyIdx = won;
    return won >= 0 ? list[static_cast<size_t>(won)] : std::string();
}

void TProxyCheck::ClientSocketConnect(int tag) { ProxyIdx = tag; }

void TProxyCheck::ClientSocketError(int, int) {}  // a failed candidate is simply not the winner

void TProxyCheck::LoadProxyList(const std::string& selProxy) {
    ProxyLine.clear();
    if (!proxies_.UseProxy) return;
    std::string found;
    if (LowerUser(TrimText(selProxy)) != "auto") {
        const auto count = static_cast<std::int32_t>(proxies_.Servers.size());
        if (ProxyIdx >= 1 && ProxyIdx <= count) {
            const std::string entry = proxies_.Servers[static_cast<size_t>(ProxyIdx - 1)];
            if (!entry.empty()) found = CheckProxyServers({entry}, proxies_.Port);
        }
        if (found.empty()) Report(kTextChosenProxyFailed);
    } else {
        found = CheckProxyServers(proxies_.Servers, proxies_.Port);
        if (found.empty()) Report(kTextNoProxy);
    }
    if (!found.empty()) ProxyLine = found;
}

bool TProxyCheck::CheckChosenProxy(std::int32_t index) {
    ProxyIdx = index;
    if (index < 1 || index > static_cast<std::int32_t>(proxies_.Servers.size())) return false;
    // A copy: the configuration's list could change while the probe waits.
    const std::string entry = proxies_.Servers[static_cast<size_t>(index - 1)];
    const std::string found = CheckProxyServers({entry}, proxies_.Port);
    if (found.empty()) {
        Report(kTextChosenProxyFailed);
        return false;
    }
    ProxyLine = found;
    return true;
}

void TProxyCheck::Report(int slot) {
    if (loop_.Terminated()) return;  // closing: the probe was cut short, not failed
    const std::string text = texts_[static_cast<size_t>(slot)];
    if (OnMsgShow) OnMsgShow(text);
    if (OnStatus) OnStatus(text);
}

}  // namespace tarvos
