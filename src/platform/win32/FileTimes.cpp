#include "platform/FileTimes.hpp"

#include <windows.h>

#include "platform/DateTime.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {
// FILETIME counts 100 ns from 1601-01-01; this many milliseconds lie before 1970.
constexpr int64_t kMsFrom1601To1970 = 11644473600000LL;

int64_t FileTimeToUtcMs(const FILETIME& ft) {
    const int64_t ticks = (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return ticks / 10000 - kMsFrom1601To1970;
}

FILETIME UtcMsToFileTime(int64_t ms) {
    const auto ticks = static_cast<uint64_t>((ms + kMsFrom1601To1970) * 10000);
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}
}  // namespace

double UtcMsToLocalDate(int64_t utcMs) {
    const FILETIME ft = UtcMsToFileTime(utcMs);
    SYSTEMTIME utc, local;
    if (!FileTimeToSystemTime(&ft, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return 0;
    DateTimeParts p{local.wYear,   local.wMonth,  local.wDay,         local.wHour,
                    local.wMinute, local.wSecond, local.wMilliseconds};
    return EncodeDateTime(p).value_or(0);
}

std::optional<int64_t> LocalDateToUtcMs(double localDate) {
    const DateTimeParts p = DecodeDateTime(localDate);
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(p.Year);
    local.wMonth = static_cast<WORD>(p.Month);
    local.wDay = static_cast<WORD>(p.Day);
    local.wHour = static_cast<WORD>(p.Hour);
    local.wMinute = static_cast<WORD>(p.Minute);
    local.wSecond = static_cast<WORD>(p.Second);
    local.wMilliseconds = static_cast<WORD>(p.Millisecond);
    SYSTEMTIME utc;
    FILETIME ft;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &ft))
        return std::nullopt;
    return FileTimeToUtcMs(ft);
}

std::optional<FileSizeAndDate> ReadSizeAndDate(const std::string& fileName) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(PathFromUtf8(fileName).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    const int64_t size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return FileSizeAndDate{size, UtcMsToLocalDate(FileTimeToUtcMs(data.ftLastWriteTime))};
}

bool SetFileTimesLocal(const std::string& fileName, uint8_t which, double localDate) {
    if (which == 0 || which > 7) return false;
    HANDLE h = CreateFileW(PathFromUtf8(fileName).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME created, accessed, written;
    bool ok = GetFileTime(h, &created, &accessed, &written);
    if (ok) {
        const auto utc = LocalDateToUtcMs(localDate);
        ok = utc.has_value();
        if (ok) {
            const FILETIME when = UtcMsToFileTime(*utc);
            if (which & 1) created = when;
            if (which & 2) accessed = when;
            if (which & 4) written = when;
            ok = SetFileTime(h, &created, &accessed, &written);
        }
    }
    CloseHandle(h);
    return ok;
}

}  // namespace tarvos
