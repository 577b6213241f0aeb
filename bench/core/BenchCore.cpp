// Times the core formats for the benchmark scripts, which compare the figures with
// reference tools measured in the same run.
//   bench_core md5file FILE             FileMD5 of FILE; prints "<digest> <CPU seconds>"
//   bench_core md5blocks MIB            TMD5 over 8 KiB blocks; prints "<MB/s>"
//   bench_core filelist SMALL LARGE N   LoadFromStrings + GetId of every name, best of N rounds
//                                       for each size, in CPU seconds; prints "<small> <large>"
//   bench_core unpack PACKED OUT        BZDecompressFile; prints "<CPU seconds>"
//   bench_core verify PACKED            reading PACKED and checking its signature (made with a
//                                       fresh key beforehand); prints "<CPU seconds>"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "inventory/CustomMD5.hpp"
#include "inventory/ListSignature.hpp"
#include "inventory/uClasses.hpp"
#include "transfer/UpdaterDecompress.hpp"

using namespace tarvos;

namespace {
// Every figure is the process's CPU time (user + system), as the reference tools are measured
// (openssl speed divides by CPU time too): on a machine shared with other work it measures
// the code rather than the scheduler.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

int Md5File(const char* file) {
    double t0 = CpuSeconds();
    std::string digest = FileMD5(file);
    std::printf("%s %.6f\n", digest.c_str(), CpuSeconds() - t0);
    return 0;
}

int Md5Blocks(long mib) {
    std::vector<uint8_t> block(8192);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 131);
    TMD5 md5;
    long blocks = mib * 128;
    double t0 = CpuSeconds();
    for (long i = 0; i < blocks; ++i) md5.AddBuffer(block.data(), block.size());
    std::string digest = md5.DigestStr();
    double s = CpuSeconds() - t0;
    std::printf("%.1f %s\n", blocks * 8192.0 / s / 1e6, digest.c_str());
    return 0;
}

std::vector<std::string> ListLines(long lines, std::vector<std::string>& names) {
    std::vector<std::string> text;
    text.reserve(lines);
    uint64_t x = 88172645463325252ull;
    for (long i = 0; i < lines; ++i) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        std::string name = "\\Data\\Folder" + std::to_string(x % 97) + "\\File_" + std::to_string(x % 1000003) +
                           "_" + std::to_string(i) + ".pak";
        text.push_back("0123456789ABCDEF0123456789ABCDEF|" + name + "|" + std::to_string(x % 50000000) +
                       "|40E4821000000000|FEDCBA9876543210FEDCBA9876543210");
        names.push_back(name);
    }
    return text;
}

// CPU seconds for one LoadFromStrings plus a GetId of every name; -1 if a name was not found.
double TimeLoadAndLookups(const std::vector<std::string>& text, const std::vector<std::string>& names) {
    double t0 = CpuSeconds();
    TFileList list(true);
    list.LoadFromStrings(text);
    size_t found = 0;
    for (const auto& n : names) found += list.GetId(n) >= 0;
    double s = CpuSeconds() - t0;
    return found == names.size() ? s : -1;
}

// Best of `rounds` for each size, the sizes taking turns so that both see the same machine.
int FileList(long small, long large, int rounds) {
    std::vector<std::string> smallNames, largeNames;
    auto smallText = ListLines(small, smallNames);
    auto largeText = ListLines(large, largeNames);
    double bestSmall = 1e9, bestLarge = 1e9;
    for (int r = 0; r < rounds; ++r) {
        double ts = TimeLoadAndLookups(smallText, smallNames);
        double tl = TimeLoadAndLookups(largeText, largeNames);
        if (ts < 0 || tl < 0) {
            std::fprintf(stderr, "a name was not found\n");
            return 1;
        }
        bestSmall = std::min(bestSmall, ts);
        bestLarge = std::min(bestLarge, tl);
    }
    std::printf("%.6f %.6f\n", bestSmall, bestLarge);
    return 0;
}

int Unpack(const char* packed, const char* out) {
    double t0 = CpuSeconds();
    BZDecompressFile(packed, out);
    std::printf("%.6f\n", CpuSeconds() - t0);
    return 0;
}
std::string ReadAll(const char* file) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

int Verify(const char* packed) {
    const ListKeyPair pair = MakeListKeyPair();
    const std::string signature = SignList(ReadAll(packed), pair.secretKey);
    double t0 = CpuSeconds();
    const std::string bytes = ReadAll(packed);
    const std::string why = CheckListSignature(bytes, signature, ListKeyText(pair.publicKey));
    const double t = CpuSeconds() - t0;
    if (!why.empty()) throw std::runtime_error(why);
    std::printf("%.6f\n", t);
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    std::string cmd = argc > 1 ? argv[1] : "";
    try {
        if (cmd == "md5file" && argc == 3) return Md5File(argv[2]);
        if (cmd == "md5blocks" && argc == 3) return Md5Blocks(std::atol(argv[2]));
        if (cmd == "filelist" && argc == 5) return FileList(std::atol(argv[2]), std::atol(argv[3]), std::atoi(argv[4]));
        if (cmd == "unpack" && argc == 4) return Unpack(argv[2], argv[3]);
        if (cmd == "verify" && argc == 3) return Verify(argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: bench_core md5file FILE | md5blocks MIB | filelist SMALL LARGE ROUNDS | unpack PACKED OUT | verify PACKED\n");
    return 2;
}
