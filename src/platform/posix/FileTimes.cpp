#include "platform/FileTimes.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/DateTime.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
}  // namespace

double UtcMsToLocalDate(int64_t utcMs) {
    const time_t seconds = static_cast<time_t>(FloorDiv(utcMs, 1000));
    tm local{};
    if (!localtime_r(&seconds, &local)) return 0;
    DateTimeParts p{local.tm_year + 1900,
                    local.tm_mon + 1,
                    local.tm_mday,
                    local.tm_hour,
                    local.tm_min,
                    local.tm_sec > 59 ? 59 : local.tm_sec,
                    static_cast<int>(utcMs - int64_t{seconds} * 1000)};
    return EncodeDateTime(p).value_or(0);
}

std::optional<int64_t> LocalDateToUtcMs(double localDate) {
    const DateTimeParts p = DecodeDateTime(localDate);
    tm local{};
    local.tm_year = p.Year - 1900;
    local.tm_mon = p.Month - 1;
    local.tm_mday = p.Day;
    local.tm_hour = p.Hour;
    local.tm_min = p.Minute;
    local.tm_sec = p.Second;
    local.tm_isdst = -1;  // the rules decide whether daylight saving was in force then
    errno = 0;
    const time_t seconds = mktime(&local);
    if (seconds == static_cast<time_t>(-1) && errno != 0) return std::nullopt;
    return int64_t{seconds} * 1000 + p.Millisecond;
}

std::optional<FileSizeAndDate> ReadSizeAndDate(const std::string& fileName) {
    struct stat st;
    if (stat(PathFromUtf8(fileName).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const int64_t ms = int64_t{st.st_mtim.tv_sec} * 1000 + st.st_mtim.tv_nsec / 1000000;
    return FileSizeAndDate{static_cast<int64_t>(st.st_size), UtcMsToLocalDate(ms)};
}

bool SetFileTimesLocal(const std::string& fileName, uint8_t which, double localDate) {
    if (which == 0 || which > 7) return false;
    const int fd = open(PathFromUtf8(fileName).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = false;
    if (const auto utc = LocalDateToUtcMs(localDate)) {
        const timespec when{static_cast<time_t>(FloorDiv(*utc, 1000)),
                            static_cast<long>((*utc - FloorDiv(*utc, 1000) * 1000) * 1000000)};
        const timespec keep{0, UTIME_OMIT};
        const timespec times[2] = {(which & 2) ? when : keep, (which & 4) ? when : keep};
        ok = futimens(fd, times) == 0;
    }
    close(fd);
    return ok;
}

}  // namespace tarvos
