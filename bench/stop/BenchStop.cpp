// Time from Stop to GetFile's return while six pieces wait on a server that sends nothing:
// the watchdog, Stop and closing the window all wait for exactly this. Prints the
// milliseconds of each round and the worst.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/EventLoop.hpp"
#include "support/TestServer.hpp"
#include "transfer/DownloadMultiThread.hpp"

using namespace tarvos;

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    test::TestServer server;
    if (!server.Available()) {
        std::fprintf(stderr, "no test server: %s\n", server.Why().c_str());
        return 1;
    }
    test::TempDir dir;
    constexpr long long kSize = 6000000;
    std::string options = "size=" + std::to_string(kSize);
    // Every piece gets its first half, then silence for as long as the piece is open.
    for (auto [start, end] : PieceRanges(kSize, 6)) options += ",stallall=" + std::to_string(start);
    double worst = 0;
    for (int r = 0; r < rounds; ++r) {
        TDownloadMultiThread dm(MainLoop());
        dm.SetThreads(6);
        Timer stopper(MainLoop(), 1000);
        std::chrono::steady_clock::time_point stoppedAt;
        stopper.OnTimer([&] {
            stopper.SetEnabled(false);
            stoppedAt = std::chrono::steady_clock::now();
            dm.Stop();
        });
        stopper.SetEnabled(true);
        dm.GetFile(server.Url(test::TestServer::NewToken(), options), dir.File("target.bin"));
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - stoppedAt).count();
        std::printf("round %d: %.1f ms\n", r + 1, ms);
        if (ms > worst) worst = ms;
    }
    std::printf("worst %.1f\n", worst);
    return 0;
}
