#pragma once
#include <cstdint>
#include <optional>
#include <string>

// File times as the program's local date values (see DateTime.hpp). Both directions use the
// time-zone rules in force at the moment in question, daylight saving included, so a date
// that SetFileTimesLocal writes is the date ReadSizeAndDate reads back, in every season.
namespace tarvos {

struct FileSizeAndDate {
    int64_t Size = 0;
    double Date = 0;  // last-write time, local, to the millisecond
};

// Size and last-write time of a regular file; empty when it is absent or unreadable.
std::optional<FileSizeAndDate> ReadSizeAndDate(const std::string& fileName);

// The times selected by the mask (1 creation, 2 last access, 4 last write) become the local
// date; the others stay. The file must open for reading and writing. A mask of 0 or above 7
// sets nothing. False when nothing was set. Linux keeps no settable creation time: that bit
// is accepted and ignored there.
bool SetFileTimesLocal(const std::string& fileName, uint8_t which, double localDate);

// The conversions themselves, on milliseconds since 1970-01-01 00:00 UTC.
double UtcMsToLocalDate(int64_t utcMs);
std::optional<int64_t> LocalDateToUtcMs(double localDate);

}  // namespace tarvos
