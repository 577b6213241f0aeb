// bench_delta index FILE INDEX           writes FILE's block index as the publisher does
// bench_delta update OLD URL NEW         brings OLD's blocks and URL + "r" ranges into NEW by
//                                        the index at URL + "i", checks the digest, prints
//                                        "scan_cpu_s= downloaded= idle_rss_kib= peak_rss_kib="
// bench_delta hostile OLD                scans OLD (all bytes alike) against a sealed index whose
//                                        weak sums all match it and strong sums none; prints
//                                        "scan_s_per_mib= stop_ms=" (a stop 50 ms into a scan)
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "inventory/CustomMD5.hpp"
#include "platform/FileStream.hpp"
#include "transfer/BlockDelta.hpp"

using namespace tarvos;

namespace {

double ThreadCpuSeconds() {
    rusage r{};
    getrusage(RUSAGE_THREAD, &r);
    return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

long RssKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string key; status >> key;) {
        long value = 0;
        if (key == "VmRSS:" && status >> value) return value;
    }
    return 0;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

int Hostile(const std::string& old) {
    BlockIndex index;
    index.fileSize = FileStream(old, FileMode::OpenRead).Size();
    index.blockSize = ChooseBlockSize(index.fileSize);
    std::vector<uint8_t> first(index.blockSize);
    FileStream(old, FileMode::OpenRead).Read(first.data(), first.size());
    index.blocks.assign(static_cast<size_t>((index.fileSize + index.blockSize - 1) / index.blockSize),
                        {WeakSum(first.data(), first.size()), {1}});
    const std::string wire = WriteBlockIndex(index);
    if (!ReadBlockIndex(wire.data(), wire.size(), index)) return 1;
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    MatchBlocks(index, old);
    const double scan = Seconds(Clock::now() - start);
    std::atomic<bool> stop{false};
    Clock::time_point stoppedAt{};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stoppedAt = Clock::now();
        stop = true;
    });
    try {
        MatchBlocks(index, old, [&] { return stop.load(); });
    } catch (const std::exception&) {
    }
    const auto ended = Clock::now();
    stopper.join();
    std::printf("scan_s_per_mib=%.4f stop_ms=%.1f\n", scan / (static_cast<double>(index.fileSize) / (1 << 20)),
                ended > stoppedAt ? 1000 * Seconds(ended - stoppedAt) : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string mode = argc > 1 ? argv[1] : "";
        if (mode == "index" && argc == 4) {
            FileStream probe(argv[2], FileMode::OpenRead);
            const std::string bytes = WriteBlockIndex(MakeBlockIndex(argv[2], ChooseBlockSize(probe.Size())));
            std::ofstream(argv[3], std::ios::binary) << bytes;
            return 0;
        }
        if (mode == "hostile" && argc == 3) return Hostile(argv[2]);
        if (mode != "update" || argc != 5) {
            std::fprintf(stderr, "usage: bench_delta index FILE INDEX | update OLD URL NEW | hostile OLD\n");
            return 2;
        }
        const long idle = RssKiB();
        const std::string url = argv[3];
        TransferEngine engine(MainLoop());
        BlockIndex index;
        std::string why;
        if (!FetchBlockIndex(engine, url + "i", index, why)) {
            std::fprintf(stderr, "%s\n", why.c_str());
            return 1;
        }
        const double cpu0 = ThreadCpuSeconds();
        const DeltaPlan plan = MatchBlocks(index, argv[2]);
        const double scan = ThreadCpuSeconds() - cpu0;
        DeltaBuild build;
        build.oldFile = argv[2];
        build.url = url + "r";
        build.newFile = argv[4];
        if (!BuildFile(engine, index, plan, build)) {
            std::fprintf(stderr, "%s\n", build.why.c_str());
            return 1;
        }
        if (FileMD5(argv[4]) != index.FileDigestText()) {
            std::fprintf(stderr, "the built file differs\n");
            return 1;
        }
        rusage self{};
        getrusage(RUSAGE_SELF, &self);
        std::printf("scan_cpu_s=%.3f downloaded=%lld idle_rss_kib=%ld peak_rss_kib=%ld\n", scan,
                    static_cast<long long>(build.downloaded.load()), idle, self.ru_maxrss);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
