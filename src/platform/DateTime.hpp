#pragma once
#include <optional>
#include <string>
#include <string_view>

// The program's date value: days since 30 December 1899 00:00 in local time, the time of
// day as the fraction (42000.5 is 27 December 2014, 12:00). Before that origin the integral
// part counts the days backwards and the fraction is still the time of day (-1.25 is
// 29 December 1899, 06:00). 0 means "no date".
namespace tarvos {

struct DateTimeParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// Empty when a field is out of range (year 1..9999, a real day of the month, 24-hour time).
std::optional<double> EncodeDateTime(const DateTimeParts& parts);
// Broken-down form, rounded to the millisecond.
DateTimeParts DecodeDateTime(double value);

// How the user writes a date and a time ("short date, a blank, time").
struct RegionalDateFormat {
    enum class Order { DayMonthYear, MonthDayYear, YearMonthDay };
    Order DateOrder = Order::DayMonthYear;
    char DateSeparator = '.';
    char TimeSeparator = ':';
    std::string AmText = "AM", PmText = "PM";
    bool TwelveHour = false;  // only for formatting; reading takes AM/PM whenever present
};

// The user's format: on Windows from the user locale; on Linux a fixed
// "dd.mm.yyyy hh:nn:ss" (the C locale has no usable short-date order of its own).
const RegionalDateFormat& UserDateFormat();

// Reads "date [time]" or "time" in the given format: numbers separated by the separators,
// the time with optional seconds, milliseconds after ".", and AM/PM; a two-digit year lies
// in 1950..2049. Empty when the text is not a valid date and time.
std::optional<double> ParseDateTime(std::string_view text, const RegionalDateFormat& format);
inline std::optional<double> ParseDateTime(std::string_view text) { return ParseDateTime(text, UserDateFormat()); }

// Writes a value the way ParseDateTime reads it (four-digit year, seconds always shown).
std::string FormatDateTime(double value, const RegionalDateFormat& format);
inline std::string FormatDateTime(double value) { return FormatDateTime(value, UserDateFormat()); }

}  // namespace tarvos
