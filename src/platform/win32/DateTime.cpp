#include <windows.h>

#include "platform/DateTime.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {
std::string LocaleText(LCTYPE type) {
    wchar_t buf[128] = {};
    int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, 128);
    if (n <= 1) return {};
    return Utf16ToUtf8(std::u16string(buf, buf + n - 1));
}

// The order is that of the first day, month and year letters of the short-date pattern
// ("dd.MM.yyyy", "M/d/yyyy", "yyyy-MM-dd"); the separator is its first other character.
void ReadShortDate(const std::string& pattern, RegionalDateFormat& f) {
    using O = RegionalDateFormat::Order;
    bool sepFound = false;
    for (char c : pattern) {
        char lc = static_cast<char>(c | 0x20);
        if (lc == 'y' || lc == 'm' || lc == 'd') continue;
        if (c == '\'' || c == ' ' || static_cast<unsigned char>(c) >= 0x80) continue;
        f.DateSeparator = c;
        sepFound = true;
        break;
    }
    if (!sepFound) f.DateSeparator = '/';
    for (char c : pattern) {
        char lc = static_cast<char>(c | 0x20);
        if (lc == 'y') return void(f.DateOrder = O::YearMonthDay);
        if (lc == 'm') return void(f.DateOrder = O::MonthDayYear);
        if (lc == 'd') return void(f.DateOrder = O::DayMonthYear);
    }
}

RegionalDateFormat ReadUserFormat() {
    RegionalDateFormat f;
    ReadShortDate(LocaleText(LOCALE_SSHORTDATE), f);
    std::string ts = LocaleText(LOCALE_STIME);
    if (ts.size() == 1) f.TimeSeparator = ts[0];
    std::string am = LocaleText(LOCALE_S1159), pm = LocaleText(LOCALE_S2359);
    if (!am.empty()) f.AmText = am;
    if (!pm.empty()) f.PmText = pm;
    f.TwelveHour = LocaleText(LOCALE_ITIME) == "0";
    return f;
}
}  // namespace

const RegionalDateFormat& UserDateFormat() {
    static const RegionalDateFormat format = ReadUserFormat();
    return format;
}

}  // namespace tarvos
