#pragma once
// A TCP port on a loopback address that completes connections from its backlog (nothing
// accepts them); other loopback addresses on the same port refuse. A silent one has its
// backlog filled at once, so later connections neither complete nor fail: they hang.
#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <stdexcept>

namespace tarvos::test {

class LoopbackListener {
public:
    explicit LoopbackListener(unsigned long address = 0x7F000001, int port = 0, bool silent = false) {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(address);
        a.sin_port = htons(static_cast<unsigned short>(port));
        if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, silent ? 0 : 64) != 0)
            throw std::runtime_error("cannot listen on the loopback");
#ifdef _WIN32
        int len = sizeof a;
#else
        socklen_t len = sizeof a;
#endif
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        if (silent) {
            filler_ = socket(AF_INET, SOCK_STREAM, 0);
            if (connect(filler_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
                throw std::runtime_error("cannot fill the backlog");
        }
    }
    ~LoopbackListener() {
#ifdef _WIN32
        if (filler_ != INVALID_SOCKET) closesocket(filler_);
        closesocket(fd_);
#else
        if (filler_ >= 0) close(filler_);
        close(fd_);
#endif
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int Port() const { return port_; }

private:
#ifdef _WIN32
    SOCKET fd_, filler_ = INVALID_SOCKET;
#else
    int fd_, filler_ = -1;
#endif
    int port_ = 0;
};

}  // namespace tarvos::test
