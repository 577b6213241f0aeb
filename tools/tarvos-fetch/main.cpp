// tarvos-fetch: downloads one URL into a file the way the launcher does, with a console
// progress bar. Exit code 0 when the file arrived complete, 1 when not, 2 on bad usage.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "transfer/DownloadMultiThread.hpp"

using namespace tarvos;

namespace {

void Usage() { std::fprintf(stderr, "usage: tarvos-fetch [-t threads] [-q] URL FILE\n"); }

void ShowProgress(int64_t loaded, int64_t size, std::chrono::steady_clock::time_point began) {
    constexpr int kWidth = 40;
    double part = size > 0 ? static_cast<double>(loaded) / static_cast<double>(size) : 0.0;
    int filled = static_cast<int>(part * kWidth + 0.5);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    double rate = secs > 0 ? static_cast<double>(loaded) / secs / (1024.0 * 1024.0) : 0.0;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kWidth, ' ');
    std::fprintf(stderr, "\r[%s] %3d%% %lld/%lld bytes %.1f MiB/s", bar.c_str(), static_cast<int>(part * 100 + 0.5),
                 static_cast<long long>(loaded), static_cast<long long>(size), rate);
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    int threads = 6;
    bool quiet = false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; ++i) {
        std::string a = argv[i];
        if (a == "-t" && i + 1 < argc) {
            threads = std::atoi(argv[++i]);
        } else if (a == "-q") {
            quiet = true;
        } else {
            Usage();
            return 2;
        }
    }
    if (argc - i != 2) {
        Usage();
        return 2;
    }
    TDownloadMultiThread dm;
    dm.SetThreads(threads);
    const auto began = std::chrono::steady_clock::now();
    if (!quiet)
        dm.OnProgress = [began](TDownloadMultiThread&, int64_t loaded, int64_t size) {
            ShowProgress(loaded, size, began);
        };
    dm.GetFile(argv[i], argv[i + 1]);
    if (!quiet) std::fprintf(stderr, "\n");
    if (dm.HaveError) {
        std::fprintf(stderr, "tarvos-fetch: %s was not fetched completely\n", argv[i]);
        return 1;
    }
    return 0;
}
