#include "support/PublishFixture.hpp"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace tarvos::test {
namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Md5Hex(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr);
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

// The same day count as the launcher's date encoding (Howard Hinnant's civil-days algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::string DateField(double date) {
    uint64_t bits;
    std::memcpy(&bits, &date, sizeof bits);
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(bits));
    return buf;
}

std::string ListName(const std::string& relative) {
    std::string name = "\\" + relative;
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

}  // namespace

double LocalFileDate(const std::string& file) {
    struct stat st;
    if (stat(file.c_str(), &st) != 0) return 0;
    const time_t seconds = st.st_mtim.tv_sec;
    tm t{};
    localtime_r(&seconds, &t);
    const auto days = static_cast<double>(DaysFromCivil(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday) -
                                          DaysFromCivil(1899, 12, 30));
    const double ms =
        ((t.tm_hour * 60.0 + t.tm_min) * 60.0 + t.tm_sec) * 1000.0 + st.st_mtim.tv_nsec / 1000000;
    return days + ms / 86400000;
}

std::string PublishFolder(const std::string& game, const std::string& server, const std::string& requiredFile,
                          const std::string& deleteFile) {
    if (const char* tool = std::getenv("TARVOS_PUBLISH"); tool && *tool) {
        std::string cmd = Quote(tool) + " " + Quote(game) + " " + Quote(server);
        if (fs::exists(requiredFile)) cmd += " --required " + Quote(requiredFile);
        if (fs::exists(deleteFile)) cmd += " --delete " + Quote(deleteFile);
        return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0 ? ""
                                                                    : "the publishing tool failed: " + cmd;
    }
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(game))
        if (e.is_regular_file()) files.push_back(fs::relative(e.path(), game).generic_string());
    std::sort(files.begin(), files.end());
    std::string list;
    for (const auto& rel : files) {
        const fs::path source = fs::path(game) / rel;
        const fs::path archive = fs::path(server) / (rel + ".ta2");
        fs::create_directories(archive.parent_path());
        fs::remove(archive);
        const std::string cmd = "cd " + Quote(source.parent_path().string()) + " && rar a -idq -ep " +
                                Quote(archive.string()) + " " + Quote(source.filename().string()) +
                                " >/dev/null";
        if (std::system(cmd.c_str()) != 0) return "rar failed: " + cmd;
        list += Md5Hex(ReadAll(source)) + "|" + ListName(rel) + "|" + std::to_string(fs::file_size(source)) +
                "|" + DateField(LocalFileDate(source.string())) + "|" + Md5Hex(ReadAll(archive)) + "\r\n";
    }
    for (const auto& [file, marker] : {std::pair{requiredFile, "#"}, std::pair{deleteFile, "@"}}) {
        if (!fs::exists(file)) continue;
        if (std::string(marker) == "@" && !fs::exists(requiredFile)) list += "#\r\n";
        list += std::string(marker) + "\r\n";
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) list += line + "\r\n";
    }
    const std::string plain = server + "/updater.lst";
    std::ofstream(plain, std::ios::binary) << list;
    // The packed list is bzip2 with its first five bytes replaced.
    const std::string packed = server + "/updater.lst.ta2";
    if (std::system(("bzip2 -9 -c " + Quote(plain) + " > " + Quote(packed)).c_str()) != 0)
        return "bzip2 failed";
    std::fstream head(packed, std::ios::binary | std::ios::in | std::ios::out);
    head.write("TARVO", 5);
    return "";
}

}  // namespace tarvos::test
