#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/Error.hpp"
#include "platform/EventLoop.hpp"
#include "platform/Terminate.hpp"

namespace tarvos {
namespace {

// Wakes are counted in an eventfd; the loop's thread sleeps in poll on it.
class PosixBackend final : public EventLoopBackend {
public:
    PosixBackend() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
        if (fd_ < 0) throw TarvosError("Cannot create the event loop");
    }
    ~PosixBackend() override { close(fd_); }

    void Wait(int timeoutMs) override {
        pollfd p{fd_, POLLIN, 0};
        while (poll(&p, 1, timeoutMs) < 0 && errno == EINTR) {
        }
        Drain();
    }

    void Wake() override {
        uint64_t one = 1;
        while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

    void DispatchPlatform() override {}

private:
    void Drain() {
        uint64_t n;
        while (read(fd_, &n, sizeof n) > 0) {
        }
    }
    int fd_;
};

}  // namespace

std::unique_ptr<EventLoopBackend> MakeEventLoopBackend(EventLoop&) { return std::make_unique<PosixBackend>(); }

void EndProcessNow(int code) {
    RunProcessEndHook();
    std::fflush(nullptr);
    std::_Exit(code);
}

}  // namespace tarvos
