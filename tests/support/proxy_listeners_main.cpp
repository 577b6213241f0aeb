// Two game proxies on loopback addresses for the demo and manual tries: 127.0.0.1:PORT is
// silent (connections neither complete nor fail) and 127.0.0.2:PORT answers. Prints PORT,
// then holds both until it is killed or its parent goes away.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "support/LoopbackListener.hpp"

int main() {
    try {
        tarvos::test::LoopbackListener silent(0x7F000001, 0, true);
        tarvos::test::LoopbackListener answering(0x7F000002, silent.Port());
        std::printf("%d\n", silent.Port());
        std::fflush(stdout);
        const pid_t parent = getppid();
        while (getppid() == parent) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "proxy listeners: %s\n", e.what());
        return 1;
    }
}
