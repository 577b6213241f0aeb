#include "platform/TcpConnector.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Error.hpp"

namespace tarvos {
namespace {

// One helper thread per connector owns every socket: it opens them, waits for all of them
// at once in poll and closes them, so no descriptor is ever closed under another thread's
// wait. Outcomes go to the loop's thread as hand-overs.
class PosixConnector final : public TcpConnector::Backend {
public:
    explicit PosixConnector(std::weak_ptr<TcpConnector::Core> core) : core_(std::move(core)) {
        wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wake_ < 0) throw TarvosError("Cannot create a socket notifier");
    }

    ~PosixConnector() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        Wake();
        if (thread_.joinable()) thread_.join();
        close(wake_);
    }

    void Start(std::uint64_t serial, std::uint32_t ipv4, std::uint16_t port) override {
        Command c{serial, ipv4, port, false};
        Queue(c);
    }

    void Abandon(std::uint64_t serial) override { Queue(Command{serial, 0, 0, true}); }

private:
    struct Command {
        std::uint64_t serial;
        std::uint32_t ipv4;
        std::uint16_t port;
        bool abandon;
    };
    struct Open {
        std::uint64_t serial;
        int fd;
    };

    void Queue(const Command& c) {
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(c);
        }
        // Started with the first attempt, so an unused connector costs no thread.
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
        Wake();
    }

    void Wake() {
        const std::uint64_t one = 1;
        while (write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

    void Run() {
        for (;;) {
            std::vector<Command> commands;
            {
                std::lock_guard lock(mutex_);
                if (stop_) break;
                commands.swap(commands_);
            }
            for (const auto& c : commands) c.abandon ? Drop(c.serial) : Begin(c);
            WaitForSockets();
        }
        for (const auto& o : open_) close(o.fd);
    }

    void Begin(const Command& c) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return Report(c.serial, errno);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(c.port);
        to.sin_addr.s_addr = htonl(c.ipv4);
        if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
            close(fd);
            return Report(c.serial, 0);
        }
        if (errno != EINPROGRESS) {
            const int error = errno;
            close(fd);
            return Report(c.serial, error);
        }
        open_.push_back({c.serial, fd});
    }

    void Drop(std::uint64_t serial) {
        std::erase_if(open_, [&](const Open& o) {
            if (o.serial != serial) return false;
            close(o.fd);
            return true;
        });
    }

    void WaitForSockets() {
        std::vector<pollfd> fds{{wake_, POLLIN, 0}};
        for (const auto& o : open_) fds.push_back({o.fd, POLLOUT, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) return;  // EINTR: look again
        std::uint64_t drained;
        while (read(wake_, &drained, sizeof drained) > 0) {
        }
        std::vector<Open> still;
        for (size_t i = 0; i < open_.size(); ++i) {
            if (fds[i + 1].revents == 0) {
                still.push_back(open_[i]);
                continue;
            }
            int error = 0;
            socklen_t len = sizeof error;
            if (getsockopt(open_[i].fd, SOL_SOCKET, SO_ERROR, &error, &len) < 0) error = errno;
            close(open_[i].fd);
            Report(open_[i].serial, error);
        }
        open_.swap(still);
    }

    void Report(std::uint64_t serial, int error) { TcpConnector::Core::PostDeliver(core_, serial, error); }

    std::weak_ptr<TcpConnector::Core> core_;
    int wake_ = -1;
    std::mutex mutex_;
    std::vector<Command> commands_;
    bool stop_ = false;
    std::thread thread_;
    std::vector<Open> open_;  // the helper thread's own
};

}  // namespace

std::unique_ptr<TcpConnector::Backend> MakeTcpConnectorBackend(
    const std::shared_ptr<TcpConnector::Core>& core) {
    return std::make_unique<PosixConnector>(core);
}

}  // namespace tarvos
