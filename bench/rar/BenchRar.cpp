// bench_rar <archive> <folder>: UnRarFile as the launcher calls it; prints the CPU seconds
// (user + system, every thread) it took.
#include <sys/resource.h>

#include <cstdio>

#include "transfer/RAR.hpp"

namespace {
double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_rar <archive> <folder>\n");
        return 2;
    }
    const double start = CpuSeconds();
    tarvos::UnRarFile(argv[1], argv[2]);
    std::printf("%.3f\n", CpuSeconds() - start);
    return 0;
}
