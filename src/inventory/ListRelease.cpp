#include "inventory/ListRelease.hpp"

#include <chrono>
#include <cstdio>

#include "inventory/ListSignature.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {

bool Digits(const std::string& s, size_t from, size_t count, int& value) {
    value = 0;
    for (size_t i = from; i < from + count; ++i) {
        if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

std::string ReadWords(const std::string& line, ListRelease& release) {
    ListRelease read;
    bool serial = false;
    size_t at = sizeof kReleaseLineHead - 1;
    while (at < line.size()) {
        const size_t start = line.find_first_not_of(" \t", at);
        if (start == std::string::npos) break;
        const size_t end = std::min(line.find_first_of(" \t", start), line.size());
        const std::string word = line.substr(start, end - start);
        at = end;
        const size_t eq = word.find('=');
        if (eq == std::string::npos) return "the release line holds \"" + word + "\"";
        const std::string name = word.substr(0, eq), value = word.substr(eq + 1);
        if (name == "serial") {
            if (value.empty() || value.size() > 18 || value.find_first_not_of("0123456789") != std::string::npos)
                return "the release serial \"" + value + "\" is not a number";
            read.serial = std::stoull(value);
            serial = true;
        } else if (name == "expires") {
            if (!ParseUtcText(value, read.expires) || read.expires <= 0)
                return "the expiry \"" + value + "\" is not a UTC time like 2027-01-09T04:00:00Z";
        } else if (name == "nextkey") {
            if (!ParseListKey(value)) return "the announced key is not 64 hexadecimal digits";
            read.nextKey = value;
        }
    }
    if (!serial) return "the release line has no serial";
    release = read;
    return {};
}

}  // namespace

std::string ReadListRelease(const std::vector<std::string>& lines, ListRelease& release) {
    bool found = false;
    for (const auto& raw : lines) {
        const std::string line = TrimText(raw);
        if (line.starts_with("#")) break;
        if (!line.starts_with(kReleaseLineHead) ||
            (line.size() > sizeof kReleaseLineHead - 1 && line[sizeof kReleaseLineHead - 1] != ' '))
            continue;
        if (found) return "the list has two release lines";
        found = true;
        if (std::string why = ReadWords(line, release); !why.empty()) return why;
    }
    return {};
}

std::string ListReleaseLine(const ListRelease& release) {
    std::string line = std::string(kReleaseLineHead) + " serial=" + std::to_string(release.serial);
    if (release.expires > 0) line += " expires=" + UtcText(release.expires);
    if (!release.nextKey.empty()) line += " nextkey=" + release.nextKey;
    return line;
}

std::string UtcText(int64_t seconds) {
    using namespace std::chrono;
    const sys_seconds t{std::chrono::seconds(seconds)};
    const auto day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss hms{t - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                  static_cast<int>(hms.seconds().count()));
    return text;
}

bool ParseUtcText(const std::string& text, int64_t& seconds) {
    using namespace std::chrono;
    int y, mo, d, h, mi, s;
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != 'Z')
        return false;
    if (!Digits(text, 0, 4, y) || !Digits(text, 5, 2, mo) || !Digits(text, 8, 2, d) || !Digits(text, 11, 2, h) ||
        !Digits(text, 14, 2, mi) || !Digits(text, 17, 2, s))
        return false;
    const year_month_day ymd{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    if (!ymd.ok() || h > 23 || mi > 59 || s > 59) return false;
    seconds = sys_days{ymd}.time_since_epoch() / std::chrono::seconds(1) + h * 3600 + mi * 60 + s;
    return true;
}

}  // namespace tarvos
