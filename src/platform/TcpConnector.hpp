#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvos {

class EventLoop;

// Concurrent TCP connection attempts whose outcomes arrive on the thread of one event loop,
// while that loop processes messages: never from inside Connect and never after the attempt
// was closed or the connector destroyed. Nothing is sent; an attempt ends as soon as its
// outcome is known and its socket is closed then, so the outcome is all a caller learns.
// Create, use and destroy it on the loop's thread.
class TcpConnector {
public:
    explicit TcpConnector(EventLoop& loop);
    ~TcpConnector();
    TcpConnector(const TcpConnector&) = delete;
    TcpConnector& operator=(const TcpConnector&) = delete;

    // Handlers get the tag the attempt was started with; errorCode is the system's socket
    // error. A handler may close attempts or destroy the connector.
    std::function<void(int tag)> OnConnect;
    std::function<void(int tag, int errorCode)> OnError;

    // Starts an attempt to a numeric IPv4 address in dotted form (names are not resolved).
    // False when the address or the port (1 to 65535) cannot be used: that attempt never
    // delivers an outcome. A tag still in use is closed first.
    bool Connect(int tag, const std::string& address, std::int32_t port);
    // Abandons the attempts with this tag; their outcomes are never delivered.
    void Close(int tag);
    void CloseAll();
    // Attempts started and neither delivered nor closed.
    int Pending() const;

    struct Core;
    class Backend;

private:
    std::shared_ptr<Core> core_;
    std::unique_ptr<Backend> backend_;
};

// A dotted-decimal IPv4 address ("a.b.c.d", each 0 to 255) as a number in host order.
std::optional<std::uint32_t> ParseIPv4(std::string_view text);

// ---- between the portable part and the platform (platform/posix, platform/win32) ----

// Where a backend reports an outcome (errorCode 0 = connected).
struct TcpConnector::Core {
    Core(EventLoop& l, TcpConnector* o) : loop(l), owner(o) {}
    EventLoop& loop;
    TcpConnector* owner;
    std::uint64_t nextSerial = 1;
    std::map<std::uint64_t, int> attempts;  // serial -> tag, pending only

    // On the loop's thread: delivers the outcome of a pending attempt; others are ignored.
    void Deliver(std::uint64_t serial, int errorCode);
    // From any thread: queues Deliver on the loop's thread; nothing happens when the
    // connector is gone by then.
    static void PostDeliver(const std::weak_ptr<Core>& core, std::uint64_t serial, int errorCode);
};

class TcpConnector::Backend {
public:
    virtual ~Backend() = default;
    // Starts the attempt; its outcome comes back through Core::Deliver or PostDeliver.
    virtual void Start(std::uint64_t serial, std::uint32_t ipv4, std::uint16_t port) = 0;
    // Closes the attempt's socket if it is still open.
    virtual void Abandon(std::uint64_t serial) = 0;
};
std::unique_ptr<TcpConnector::Backend> MakeTcpConnectorBackend(
    const std::shared_ptr<TcpConnector::Core>& core);

}  // namespace tarvos
