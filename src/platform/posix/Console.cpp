#include "platform/Console.hpp"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/HandlerBoundary.hpp"

namespace tarvos {

bool StandardOutputIsTerminal() {
    if (!isatty(STDOUT_FILENO)) return false;
    const char* term = std::getenv("TERM");
    return term && *term && std::strcmp(term, "dumb") != 0;
}

void OnInterruptRequest(std::function<void()> handler) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set, handler = std::move(handler)] {
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0) continue;
            RunHandler(handler);
        }
    }).detach();
}

}  // namespace tarvos
