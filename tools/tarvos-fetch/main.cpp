// tarvos-fetch: downloads one URL into a file the way the launcher does, with a console
// progress bar. Exit code 0 when the file arrived complete, 1 when not, 2 on bad usage.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "transfer/DownloadMultiThread.hpp"

#ifdef __linux__
#include <sys/resource.h>

#include <fstream>
#endif

using namespace tarvos;

namespace {

void Usage() { std::fprintf(stderr, "usage: tarvos-fetch [-t threads] [-q] [--stats] [--resume KEY] [--limit-rate RATE] URL FILE\n"); }

#ifdef __linux__
long ResidentKiB() {
    std::ifstream in("/proc/self/status");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == "VmRSS:") {
            in >> value;
            return value;
        }
        in.ignore(4096, '\n');
    }
    return 0;
}

// For the benchmarks: wall time, CPU time of the main thread alone (the one that must stay
// idle while workers download) and resident memory before and at its peak.
double MainThreadCpuMs() {
    rusage thread{};
    getrusage(RUSAGE_THREAD, &thread);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(thread.ru_utime) + ms(thread.ru_stime);
}

void PrintStats(std::chrono::steady_clock::time_point began, double cpuBefore, long idleKiB) {
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
    std::printf("wall_ms=%.1f main_cpu_ms=%.1f idle_rss_kib=%ld peak_rss_kib=%ld\n", wall,
                MainThreadCpuMs() - cpuBefore, idleKiB, self.ru_maxrss);
}
#endif

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
    bool stats = false;
    std::string resumeKey;
    int64_t limitRate = 0;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; ++i) {
        std::string a = argv[i];
        if (a == "-t" && i + 1 < argc) {
            threads = std::atoi(argv[++i]);
        } else if (a == "-q") {
            quiet = true;
        } else if (a == "--stats") {
            stats = true;
        } else if (a == "--resume" && i + 1 < argc) {
            resumeKey = argv[++i];
        } else if (a == "--limit-rate" && i + 1 < argc && ParseRate(argv[i + 1])) {
            limitRate = *ParseRate(argv[++i]);
        } else {
            Usage();
            return 2;
        }
    }
    if (argc - i != 2) {
        Usage();
        return 2;
    }
#ifdef __linux__
    const long idleKiB = ResidentKiB();
    const double cpuBefore = MainThreadCpuMs();
#endif
    TDownloadMultiThread dm;
    dm.SetThreads(threads);
    dm.ResumeKey = resumeKey;
    dm.SetLimitRate(limitRate);
    const auto began = std::chrono::steady_clock::now();
    if (!quiet)
        dm.OnProgress = [began](TDownloadMultiThread&, int64_t loaded, int64_t size) {
            ShowProgress(loaded, size, began);
        };
    dm.GetFile(argv[i], argv[i + 1]);
    if (!quiet) std::fprintf(stderr, "\n");
#ifdef __linux__
    if (stats) PrintStats(began, cpuBefore, idleKiB);
#else
    (void)stats;
#endif
    if (dm.HaveError) {
        std::fprintf(stderr, "tarvos-fetch: %s was not fetched completely\n", argv[i]);
        return 1;
    }
    return 0;
}
