// The program behind bench/config.sh.
//   bench_config noise W H OUT.bmp      a 24-bit picture of random pixels (does not compress)
//   bench_config load LAUNCHER OUT.bz2  writes the slot's packed bytes, unscrambled, to OUT.bz2,
//                                       then loads and reads the package as start-up does and
//                                       prints the CPU seconds that took
#include <sys/resource.h>

#include <fstream>
#include <iostream>
#include <random>
#include <string>

#include "LauncherSlot.hpp"
#include "config/ConfigKey.hpp"
#include "platform/Bitmap.hpp"
#include "platform/Resources.hpp"
#include "startup/Startup.hpp"

using namespace tarvos;

namespace {

// User and system time of this process, as the shell reports it for the reference.
double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

int Noise(int w, int h, const std::string& out) {
    Bitmap b;
    b.width = w, b.height = h;
    b.pixels.resize(static_cast<size_t>(w) * h * 4);
    std::mt19937 random(7);
    for (auto& p : b.pixels) p = static_cast<std::uint8_t>(random());
    pack::WriteWholeFile(out, EncodeBmp24(b));
    return 0;
}

int Load(const std::string& launcher, const std::string& out) {
    pack::Bytes file = pack::ReadWholeFile(launcher);
    size_t at = pack::FindSlot(file);
    auto slot = std::span<const std::uint8_t>(file).subspan(at, kBlankSlotSize);
    std::int32_t n = slot[0] | (slot[1] << 8) | (slot[2] << 16) | (slot[3] << 24);
    pack::Bytes packed(slot.begin() + 4, slot.begin() + 4 + n);
    auto key = ConfigKey();
    for (size_t i = 0; i < packed.size(); ++i) packed[i] ^= key[i % key.size()];
    pack::WriteWholeFile(out, packed);

    MemoryResources resources("blank", slot);
    double start = CpuSeconds();
    StartupState state = PrepareStartup({}, resources);
    double secs = CpuSeconds() - start;
    if (state.skin->MainWindow.BackGroundImage.image.Empty()) {
        std::cerr << "the package did not load" << std::endl;
        return 1;
    }
    std::cout << secs << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "noise" && argc == 5) return Noise(std::stoi(argv[2]), std::stoi(argv[3]), argv[4]);
    if (verb == "load" && argc == 4) return Load(argv[2], argv[3]);
    std::cerr << "usage: bench_config noise W H OUT.bmp | load LAUNCHER OUT.bz2" << std::endl;
    return 2;
}
