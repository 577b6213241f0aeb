#include "platform/TcpConnector.hpp"

#include "platform/EventLoop.hpp"

namespace tarvos {

std::optional<std::uint32_t> ParseIPv4(std::string_view text) {
    std::uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') return std::nullopt;
            text.remove_prefix(1);
        }
        size_t digits = 0;
        std::uint32_t value = 0;
        while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9')
            value = value * 10 + static_cast<std::uint32_t>(text[digits++] - '0');
        if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
        text.remove_prefix(digits);
        address = address << 8 | value;
    }
    if (!text.empty()) return std::nullopt;
    return address;
}

void TcpConnector::Core::Deliver(std::uint64_t serial, int errorCode) {
    auto it = attempts.find(serial);
    if (it == attempts.end() || !owner) return;
    const int tag = it->second;
    attempts.erase(it);
    // A copy: the handler may destroy the connector and with it the stored handler.
    if (errorCode == 0) {
        auto handler = owner->OnConnect;
        if (handler) handler(tag);
    } else {
        auto handler = owner->OnError;
        if (handler) handler(tag, errorCode);
    }
}

void TcpConnector::Core::PostDeliver(const std::weak_ptr<Core>& core, std::uint64_t serial, int errorCode) {
    auto c = core.lock();
    if (!c) return;
    c->loop.Post([core, serial, errorCode] {
        // Held for the whole delivery, even when the handler destroys the connector.
        if (auto alive = core.lock()) alive->Deliver(serial, errorCode);
    });
}

TcpConnector::TcpConnector(EventLoop& loop) : core_(std::make_shared<Core>(loop, this)) {
    backend_ = MakeTcpConnectorBackend(core_);
}

TcpConnector::~TcpConnector() {
    core_->owner = nullptr;
    core_->attempts.clear();
    backend_.reset();  // closes every socket still open
}

bool TcpConnector::Connect(int tag, const std::string& address, std::int32_t port) {
    Close(tag);
    const auto ip = ParseIPv4(address);
    if (!ip || port < 1 || port > 65535) return false;
    const std::uint64_t serial = core_->nextSerial++;
    core_->attempts.emplace(serial, tag);
    backend_->Start(serial, *ip, static_cast<std::uint16_t>(port));
    return true;
}

void TcpConnector::Close(int tag) {
    for (auto it = core_->attempts.begin(); it != core_->attempts.end();) {
        if (it->second != tag) {
            ++it;
            continue;
        }
        backend_->Abandon(it->first);
        it = core_->attempts.erase(it);
    }
}

void TcpConnector::CloseAll() {
    for (const auto& [serial, tag] : core_->attempts) backend_->Abandon(serial);
    core_->attempts.clear();
}

int TcpConnector::Pending() const { return static_cast<int>(core_->attempts.size()); }

}  // namespace tarvos
