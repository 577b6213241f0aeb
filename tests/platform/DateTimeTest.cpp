#include <gtest/gtest.h>

#include "platform/DateTime.hpp"

using namespace tarvos;

namespace {
DateTimeParts Parts(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return DateTimeParts{y, mo, d, h, mi, s, ms};
}

void ExpectParts(const DateTimeParts& p, const DateTimeParts& q) {
    EXPECT_EQ(std::tie(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond),
              std::tie(q.Year, q.Month, q.Day, q.Hour, q.Minute, q.Second, q.Millisecond));
}

RegionalDateFormat UsFormat() {
    RegionalDateFormat f;
    f.DateOrder = RegionalDateFormat::Order::MonthDayYear;
    f.DateSeparator = '/';
    f.TwelveHour = true;
    return f;
}
}  // namespace

TEST(DateTime, CountsDaysFromTheOriginWithTheTimeAsFraction) {
    EXPECT_EQ(EncodeDateTime(Parts(2014, 12, 27, 12)), 42000.5);
    EXPECT_EQ(EncodeDateTime(Parts(1899, 12, 30)), 0.0);
    EXPECT_EQ(EncodeDateTime(Parts(1899, 12, 29, 6)), -1.25);  // before the origin: day back, time forward
    EXPECT_EQ(EncodeDateTime(Parts(2016, 2, 29, 23, 59, 59, 999)).has_value(), true);
    ExpectParts(DecodeDateTime(42000.5), Parts(2014, 12, 27, 12));
    ExpectParts(DecodeDateTime(-1.25), Parts(1899, 12, 29, 6));
    ExpectParts(DecodeDateTime(*EncodeDateTime(Parts(9999, 12, 31, 23, 59, 59, 999))),
                Parts(9999, 12, 31, 23, 59, 59, 999));
    ExpectParts(DecodeDateTime(*EncodeDateTime(Parts(1, 1, 1, 0, 0, 1))), Parts(1, 1, 1, 0, 0, 1));
}

TEST(DateTime, RefusesDatesThatDoNotExist) {
    EXPECT_FALSE(EncodeDateTime(Parts(2015, 2, 29)));
    EXPECT_FALSE(EncodeDateTime(Parts(1900, 2, 29)));
    EXPECT_FALSE(EncodeDateTime(Parts(2014, 13, 1)));
    EXPECT_FALSE(EncodeDateTime(Parts(2014, 4, 31)));
    EXPECT_FALSE(EncodeDateTime(Parts(2014, 1, 1, 24)));
    EXPECT_FALSE(EncodeDateTime(Parts(0, 1, 1)));
}

TEST(DateTime, ReadsRegionalDateAndTime) {
    RegionalDateFormat de;  // dd.mm.yyyy hh:nn:ss
    EXPECT_EQ(ParseDateTime("27.12.2014 12:00:00", de), 42000.5);
    EXPECT_EQ(ParseDateTime("  27.12.2014   12:00 ", de), 42000.5);
    EXPECT_EQ(ParseDateTime("27.12.14 12:00:00", de), 42000.5);
    EXPECT_EQ(ParseDateTime("27.12.2014", de), 42000.0);
    EXPECT_EQ(ParseDateTime("12:00", de), 0.5);
    EXPECT_EQ(ParseDateTime("30.12.1899 00:00:00.500", de), 0.5 / 86400);

    RegionalDateFormat us = UsFormat();
    EXPECT_EQ(ParseDateTime("12/27/2014 12:00:00 PM", us), 42000.5);
    EXPECT_EQ(ParseDateTime("12/27/2014 12:00:00 am", us), 42000.0);
    EXPECT_EQ(ParseDateTime("12/27/2014 13:00:00", us), 42000.5 + 1.0 / 24);

    RegionalDateFormat iso;
    iso.DateOrder = RegionalDateFormat::Order::YearMonthDay;
    iso.DateSeparator = '-';
    EXPECT_EQ(ParseDateTime("2014-12-27 12:00:00", iso), 42000.5);
}

TEST(DateTime, RejectsTextThatIsNoDateAndTime) {
    RegionalDateFormat de;
    for (const char* text : {"31.02.2014 10:00:00", "27.12.2014 25:00:00", "hello world", "27.12.2014 12:00:00 x",
                             "27/12/2014 12:00:00", "27.12.2014 13:00:00 PM", "127.12.2014 12:00", "", " ",
                             "27.12.2014 12:", "27.12.20140 12:00"}) {
        EXPECT_FALSE(ParseDateTime(text, de)) << text;
    }
}

TEST(DateTime, FormatsWhatItReads) {
    double v = *EncodeDateTime(Parts(2023, 3, 4, 5, 6, 7));
    for (const RegionalDateFormat& f : {RegionalDateFormat{}, UsFormat()}) {
        EXPECT_EQ(ParseDateTime(FormatDateTime(v, f), f), v);
    }
    EXPECT_EQ(FormatDateTime(42000.5, RegionalDateFormat{}), "27.12.2014 12:00:00");
    EXPECT_EQ(FormatDateTime(42000.5, UsFormat()), "12/27/2014 12:00:00 PM");
    // The user's own format reads back what it writes, whatever the locale is.
    EXPECT_EQ(ParseDateTime(FormatDateTime(v)), v);
}
