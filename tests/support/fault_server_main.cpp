// The fault-injecting test server as a program of its own, for tests that cannot host it
// in-process (the Windows tests under Wine). Prints "<port>" (and "<https port>" when
// given a certificate) on one line each to the port file, then serves until it is killed,
// its lifetime ends, or its parent goes away.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "support/FaultServer.hpp"

int main(int argc, char** argv) {
    std::string portFile, cert, key, files;
    int lifetime = 900;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--port-file")) portFile = argv[i + 1];
        if (!std::strcmp(argv[i], "--cert")) cert = argv[i + 1];
        if (!std::strcmp(argv[i], "--key")) key = argv[i + 1];
        if (!std::strcmp(argv[i], "--files-root")) files = argv[i + 1];
        if (!std::strcmp(argv[i], "--lifetime")) lifetime = std::atoi(argv[i + 1]);
    }
    tarvos::test::FaultServer http("", "", files);
    std::unique_ptr<tarvos::test::FaultServer> https;
    if (!cert.empty()) https = std::make_unique<tarvos::test::FaultServer>(cert, key, files);
    if (!http.Ok() || (https && !https->Ok())) {
        std::fprintf(stderr, "fault server: cannot listen\n");
        return 1;
    }
    std::string ports = std::to_string(http.Port()) + "\n" + (https ? std::to_string(https->Port()) + "\n" : "");
    std::string tmp = portFile + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f) return 1;
    std::fputs(ports.c_str(), f);
    std::fclose(f);
    std::rename(tmp.c_str(), portFile.c_str());
    const pid_t parent = getppid();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(lifetime);
    while (std::chrono::steady_clock::now() < end && getppid() == parent)
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return 0;
}
