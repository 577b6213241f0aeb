#include "platform/TcpConnector.hpp"

#include <windows.h>
#include <winsock2.h>

#include <map>

#include "platform/Error.hpp"
#include "platform/HandlerBoundary.hpp"
#include "platform/win32/MessageWindow.hpp"

namespace tarvos {
namespace {

constexpr wchar_t kClassName[] = L"TarvosTcpConnectorWindow";
// Each attempt notifies with its own message number, so a notification still queued for
// a closed socket cannot be taken for a later socket that reuses the handle.
constexpr UINT kFirstMessage = WM_APP + 0x100;
constexpr UINT kMessageCount = 0xBFFF - kFirstMessage;

void StartWinsockOnce() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) throw TarvosError("Cannot start the socket library");
}

// The sockets notify a message-only window of the loop's thread (WSAAsyncSelect), so
// their outcomes are dispatched by the loop's own message processing.
class Win32Connector final : public TcpConnector::Backend {
public:
    explicit Win32Connector(std::weak_ptr<TcpConnector::Core> core) : core_(std::move(core)) {
        StartWinsockOnce();
        hwnd_ = CreateMessageWindow(kClassName, &Win32Connector::WndProc);
        if (!hwnd_) throw TarvosError("Cannot create a socket notifier");
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    ~Win32Connector() override {
        for (const auto& [serial, a] : open_) closesocket(a.socket);
        // Notifications still queued for this window are dropped with it.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }

    void Start(std::uint64_t serial, std::uint32_t ipv4, std::uint16_t port) override {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) return TcpConnector::Core::PostDeliver(core_, serial, WSAGetLastError());
        const UINT message = kFirstMessage + static_cast<UINT>(serial % kMessageCount);
        // Also makes the socket non-blocking.
        if (WSAAsyncSelect(s, hwnd_, message, FD_CONNECT) != 0) return Fail(s, serial);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(ipv4);
        if (connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 &&
            WSAGetLastError() != WSAEWOULDBLOCK)
            return Fail(s, serial);
        // Even an at-once connection notifies FD_CONNECT.
        open_[serial] = {s, message};
    }

    void Abandon(std::uint64_t serial) override {
        auto it = open_.find(serial);
        if (it == open_.end()) return;
        closesocket(it->second.socket);
        open_.erase(it);
    }

private:
    struct Attempt {
        SOCKET socket;
        UINT message;
    };

    void Fail(SOCKET s, std::uint64_t serial) {
        const int error = WSAGetLastError();
        closesocket(s);
        // Never from inside Connect: the caller learns every outcome the same way.
        TcpConnector::Core::PostDeliver(core_, serial, error ? error : WSAECONNREFUSED);
    }

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        return CallbackBoundary<LRESULT>(0, [&] { return Proc(hwnd, msg, wp, lp); });
    }

    static LRESULT Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<Win32Connector*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && msg >= kFirstMessage && msg < kFirstMessage + kMessageCount) {
            self->Notified(msg, static_cast<SOCKET>(wp), WSAGETSELECTERROR(lp));
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }

    void Notified(UINT message, SOCKET s, int error) {
        for (auto it = open_.begin(); it != open_.end(); ++it) {
            if (it->second.message != message || it->second.socket != s) continue;
            const std::uint64_t serial = it->first;
            closesocket(s);
            open_.erase(it);
            // Held through the handler, which may destroy the connector and this window.
            if (auto core = core_.lock()) core->Deliver(serial, error);
            return;
        }
    }

    std::weak_ptr<TcpConnector::Core> core_;
    HWND hwnd_ = nullptr;
    std::map<std::uint64_t, Attempt> open_;
};

}  // namespace

std::unique_ptr<TcpConnector::Backend> MakeTcpConnectorBackend(
    const std::shared_ptr<TcpConnector::Core>& core) {
    return std::make_unique<Win32Connector>(core);
}

}  // namespace tarvos
