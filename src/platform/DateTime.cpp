#include "platform/DateTime.hpp"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "platform/Text.hpp"

namespace tarvos {

namespace {
constexpr int64_t kMsPerDay = 86400000;

// Days from 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's algorithm).
constexpr int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// Constant-initialised: dates encoded during static initialisation of other units need it.
constexpr int64_t kOriginDays = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// A small cursor over the text being read.
class Scanner {
public:
    explicit Scanner(std::string_view s) : s_(s) {}
    bool AtEnd() const { return i_ >= s_.size(); }
    size_t Pos() const { return i_; }
    void Reset(size_t pos) { i_ = pos; }
    bool SkipBlanks() {
        size_t start = i_;
        while (i_ < s_.size() && s_[i_] == ' ') ++i_;
        return i_ > start;
    }
    bool Char(char c) {
        if (i_ < s_.size() && s_[i_] == c) return ++i_, true;
        return false;
    }
    // Up to maxDigits decimal digits; digitsRead tells how many there were.
    bool Number(int& value, int maxDigits, int* digitsRead = nullptr) {
        int n = 0;
        value = 0;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_])) && n < maxDigits) {
            value = value * 10 + (s_[i_++] - '0');
            ++n;
        }
        if (digitsRead) *digitsRead = n;
        return n > 0 && (AtEnd() || !std::isdigit(static_cast<unsigned char>(s_[i_])));
    }
    bool Word(const std::string& w) {
        if (w.empty() || s_.size() - i_ < w.size()) return false;
        if (LowerUser(s_.substr(i_, w.size())) != LowerUser(w)) return false;
        i_ += w.size();
        return true;
    }

private:
    std::string_view s_;
    size_t i_ = 0;
};

int WidenYear(int year, int digits) {
    if (digits > 2) return year;
    return year < 50 ? 2000 + year : 1900 + year;
}

bool ScanDate(Scanner& sc, const RegionalDateFormat& f, DateTimeParts& p) {
    int n[3], digits[3];
    for (int k = 0; k < 3; ++k) {
        if (k > 0 && !sc.Char(f.DateSeparator)) return false;
        if (!sc.Number(n[k], 4, &digits[k])) return false;
    }
    using O = RegionalDateFormat::Order;
    int yi = f.DateOrder == O::YearMonthDay ? 0 : 2;
    int mi = f.DateOrder == O::MonthDayYear ? 0 : 1;
    int di = f.DateOrder == O::DayMonthYear ? 0 : f.DateOrder == O::MonthDayYear ? 1 : 2;
    p.Year = WidenYear(n[yi], digits[yi]);
    p.Month = n[mi];
    p.Day = n[di];
    return true;
}

bool ScanTime(Scanner& sc, const RegionalDateFormat& f, DateTimeParts& p) {
    if (!sc.Number(p.Hour, 2) || !sc.Char(f.TimeSeparator) || !sc.Number(p.Minute, 2)) return false;
    if (sc.Char(f.TimeSeparator) && !sc.Number(p.Second, 2)) return false;
    if (sc.Char('.') && !sc.Number(p.Millisecond, 3)) return false;
    sc.SkipBlanks();
    bool am = sc.Word(f.AmText) || sc.Word("AM");
    bool pm = !am && (sc.Word(f.PmText) || sc.Word("PM"));
    if (am || pm) {
        if (p.Hour < 1 || p.Hour > 12) return false;
        p.Hour = p.Hour % 12 + (pm ? 12 : 0);
    }
    sc.SkipBlanks();
    return sc.AtEnd();
}
}  // namespace

std::optional<double> EncodeDateTime(const DateTimeParts& p) {
    if (p.Year < 1 || p.Year > 9999 || p.Month < 1 || p.Month > 12) return std::nullopt;
    if (p.Day < 1 || p.Day > DaysInMonth(p.Year, p.Month)) return std::nullopt;
    if (p.Hour < 0 || p.Hour > 23 || p.Minute < 0 || p.Minute > 59 || p.Second < 0 || p.Second > 59 ||
        p.Millisecond < 0 || p.Millisecond > 999)
        return std::nullopt;
    auto days = static_cast<double>(DaysFromCivil(p.Year, p.Month, p.Day) - kOriginDays);
    double ms = ((p.Hour * 60.0 + p.Minute) * 60.0 + p.Second) * 1000.0 + p.Millisecond;
    double time = ms / kMsPerDay;
    return days >= 0 ? days + time : days - time;
}

DateTimeParts DecodeDateTime(double value) {
    auto total = static_cast<int64_t>(std::llround(value * kMsPerDay));
    int64_t days = total / kMsPerDay;  // towards zero: the integral part is the day
    int64_t ms = std::llabs(total % kMsPerDay);
    DateTimeParts p;
    CivilFromDays(days + kOriginDays, p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(ms / 3600000);
    p.Minute = static_cast<int>(ms / 60000 % 60);
    p.Second = static_cast<int>(ms / 1000 % 60);
    p.Millisecond = static_cast<int>(ms % 1000);
    return p;
}

std::optional<double> ParseDateTime(std::string_view text, const RegionalDateFormat& format) {
    std::string trimmed = TrimText(text);
    Scanner sc(trimmed);
    DateTimeParts p;
    bool ok = ScanDate(sc, format, p) && (sc.AtEnd() || (sc.SkipBlanks() && ScanTime(sc, format, p)));
    if (!ok) {  // a time alone is a time on the origin day
        p = DateTimeParts{};
        sc.Reset(0);
        if (!ScanTime(sc, format, p)) return std::nullopt;
    }
    return EncodeDateTime(p);
}

std::string FormatDateTime(double value, const RegionalDateFormat& f) {
    DateTimeParts p = DecodeDateTime(value);
    char date[16], time[32];
    using O = RegionalDateFormat::Order;
    char ds = f.DateSeparator, ts = f.TimeSeparator;
    if (f.DateOrder == O::DayMonthYear) std::snprintf(date, sizeof date, "%02d%c%02d%c%04d", p.Day, ds, p.Month, ds, p.Year);
    if (f.DateOrder == O::MonthDayYear) std::snprintf(date, sizeof date, "%02d%c%02d%c%04d", p.Month, ds, p.Day, ds, p.Year);
    if (f.DateOrder == O::YearMonthDay) std::snprintf(date, sizeof date, "%04d%c%02d%c%02d", p.Year, ds, p.Month, ds, p.Day);
    if (!f.TwelveHour) {
        std::snprintf(time, sizeof time, "%02d%c%02d%c%02d", p.Hour, ts, p.Minute, ts, p.Second);
        return std::string(date) + " " + time;
    }
    int h12 = p.Hour % 12 == 0 ? 12 : p.Hour % 12;
    std::snprintf(time, sizeof time, "%d%c%02d%c%02d", h12, ts, p.Minute, ts, p.Second);
    return std::string(date) + " " + time + " " + (p.Hour < 12 ? f.AmText : f.PmText);
}

}  // namespace tarvos
