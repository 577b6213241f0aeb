#pragma once
// A TCP port on 127.0.0.1 that completes connections from its backlog (nothing accepts
// them). Other loopback addresses on the same port refuse.
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
    LoopbackListener() {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(0x7F000001);
        if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 64) != 0)
            throw std::runtime_error("cannot listen on the loopback");
#ifdef _WIN32
        int len = sizeof a;
#else
        socklen_t len = sizeof a;
#endif
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~LoopbackListener() {
#ifdef _WIN32
        closesocket(fd_);
#else
        close(fd_);
#endif
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int Port() const { return port_; }

private:
#ifdef _WIN32
    SOCKET fd_;
#else
    int fd_;
#endif
    int port_ = 0;
};

}  // namespace tarvos::test
