// Date values to seconds since the epoch, and the steps of the date-time reader.
#include "header/date.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int64_t unreadable = -1;

// Seconds since the epoch for a whole Date value, or `unreadable`.
int64_t seconds(const std::string& value) {
    const char* cursor = value.data();
    struct tm time {};
    int64_t zone = 0;
    if (hdr_date_time_parse(&cursor, value.data() + value.size(), &time, &zone) != 0) {
        EXPECT_EQ(cursor, value.data()) << value;
        return unreadable;
    }
    return hdr_tm_to_utc(&time, zone);
}

// Seconds since the epoch of a UTC calendar date.
int64_t utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    struct tm time {};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return hdr_tm_to_utc(&time, 0);
}

struct row {
    std::string value;
    int64_t expected;
};

void check_rows(const std::vector<row>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(seconds(rows[i].value), rows[i].expected) << "row " << i << ": " << rows[i].value;
    }
}

TEST(DateTime, WorkedValues) {
    check_rows({
        {"Tue, 15 Nov 1994 08:12:31 GMT", 784887151},
        {"Tue, 5 Oct 2010 10:00:00 -0500", 1286290800},
        {"1 Jan 2040 00:00:00 GMT", 2208988800},
        {"13 Feb 2009 23:31:30 +0000", 1234567890},
        {"1 Jan 1970 00:00:00 GMT", 0},
        {"29 Feb 2000 12:00:00 GMT", 951825600},
        {"31 Dec 1969 23:59:59 GMT", -1},
        {"1 Mar 1900 00:00:00 GMT", -2203891200},
    });
}

TEST(DateTime, Years) {
    check_rows({
        {"Mon, 1 Jan 01 00:00:00 GMT", utc(2001, 1, 1)},
        {"1 Jan 49 00:00 GMT", utc(2049, 1, 1)},
        {"1 Jan 50 00:00 GMT", utc(1950, 1, 1)},
        {"1 Jan 99 00:00 GMT", utc(1999, 1, 1)},
        {"1 Jan 101 00:00 GMT", utc(2001, 1, 1)},
        {"1 Jan 0049 00:00 GMT", utc(49, 1, 1)},
        {"1 Jan 9 00:00 GMT", unreadable},
        // A fifth year digit is left for the hour.
        {"1 Jan 20091:02", utc(2009, 1, 1, 1, 2)},
    });
}

TEST(DateTime, StrictNamesAndOrder) {
    check_rows({
        {"Mon 5 Jan 2009 10:00:00 GMT", unreadable},
        {"Monday, 5 Jan 2009 10:00:00 GMT", unreadable},
        {"5 jan 2009 10:00:00 GMT", unreadable},
        {"mon, 5 Jan 2009 10:00:00 GMT", unreadable},
        {"Jan 5 2009 10:00:00 GMT", unreadable},
        {"5 January 2009 10:00:00 GMT", unreadable},
        {"5 Jan 2009", unreadable},
        {"5 Jan 2009 10", unreadable},
        {"5 Jan 2009 10:", unreadable},
        {"5 Jan 2009 10:00:", unreadable},
        {"5 Jan 2009 10:00: 01", unreadable},
        {"yesterday", unreadable},
        {"", unreadable},
        {"Sun, 5 Jan 2009 10:00 GMT", utc(2009, 1, 5, 10)},  // the day name is never checked
        {"Mon , 5 Jan 2009 10:00 GMT", utc(2009, 1, 5, 10)},
        {"Mon(c),5 Jan 2009 10:00 GMT", utc(2009, 1, 5, 10)},
        {"5Jan2009 10:00 GMT", utc(2009, 1, 5, 10)},
        {"5 Jan 2009 10:00:00 GMT trailing words", utc(2009, 1, 5, 10)},
    });
}

TEST(DateTime, WhiteSpaceAndComments) {
    check_rows({
        {"(note) Tue, 15 Nov 1994 08:12:31 GMT (comment)", 784887151},
        {"Tue,(a)15(b)Nov(c)1994(d)08:12:31(e)GMT", 784887151},
        {"  Tue,\r\n 15 Nov 1994\r\n\t08:12:31 GMT", 784887151},
        {"5 Jan 2009 10 :30", utc(2009, 1, 5, 10, 30)},
        {"5 Jan 2009 10:30 :15", utc(2009, 1, 5, 10, 30, 15)},
        {"5 Jan 2009 10: 30", unreadable},
        {"5 Jan 2009 10 : 30", unreadable},
        {"5 Jan 2009 10:00", utc(2009, 1, 5, 10)},
        {"(unclosed 5 Jan 2009 10:00", unreadable},
    });
}

TEST(DateTime, Zones) {
    const int64_t base = utc(2009, 1, 5, 10);
    const std::vector<std::pair<std::string, int64_t>> zones = {
        {"+0530", 19800}, {"-0800", -28800},    {"0530", 19800}, {"est", -18000},
        {"UT", 0},        {"utc", 0},           {"EDT", -14400}, {"CST", -21600},
        {"CDT", -18000},  {"MST", -25200},      {"MDT", -21600}, {"PST", -28800},
        {"pdt", -25200},  {"CEST", 0},          {"Z", 0},        {"+05:30", 0},
        {"+050", 0},      {"+9999", 362340},    {"-00001", 0},   {"05301", 19800},
        {"+05a0", 0},     {"(c) -0100", -3600}, {"", 0},         {",GMT", 0},
    };
    for (size_t i = 0; i < zones.size(); ++i) {
        std::string value = "5 Jan 2009 10:00 " + zones[i].first;
        EXPECT_EQ(seconds(value), base - zones[i].second) << "row " << i << ": " << value;
        const char* cursor = value.data();
        struct tm time {};
        int64_t zone = 12345;
        ASSERT_EQ(hdr_date_time_parse(&cursor, value.data() + value.size(), &time, &zone), 0);
        EXPECT_EQ(zone, zones[i].second) << "row " << i << ": " << value;
    }
}

TEST(DateTime, NoRangeChecks) {
    check_rows({
        {"31 Feb 2009 00:00 GMT", utc(2009, 3, 3)},
        {"5 Jan 2009 25:00 GMT", utc(2009, 1, 6, 1)},
        {"5 Jan 2009 10:75 GMT", utc(2009, 1, 5, 11, 15)},
        {"0 Jan 2009 00:00 GMT", utc(2008, 12, 31)},
    });
}

TEST(DateTime, BrokenDownFields) {
    const std::string value = "Wed, 7 Mar 2012 09:08:07 +0100 rest";
    const char* cursor = value.data();
    struct tm time {};
    time.tm_yday = 77;
    int64_t zone = 0;
    ASSERT_EQ(hdr_date_time_parse(&cursor, value.data() + value.size(), &time, &zone), 0);
    EXPECT_EQ(time.tm_wday, 3);
    EXPECT_EQ(time.tm_mday, 7);
    EXPECT_EQ(time.tm_mon, 2);
    EXPECT_EQ(time.tm_year, 112);
    EXPECT_EQ(time.tm_hour, 9);
    EXPECT_EQ(time.tm_min, 8);
    EXPECT_EQ(time.tm_sec, 7);
    EXPECT_EQ(time.tm_yday, 0);
    EXPECT_EQ(time.tm_isdst, -1);
    EXPECT_EQ(zone, 3600);
    EXPECT_EQ(std::string(cursor), " rest");

    // Without a day name the weekday is 0; null outputs are allowed.
    const std::string plain = "7 Mar 2012 09:08";
    cursor = plain.data();
    ASSERT_EQ(hdr_date_time_parse(&cursor, plain.data() + plain.size(), &time, nullptr), 0);
    EXPECT_EQ(time.tm_wday, 0);
    cursor = plain.data();
    EXPECT_EQ(hdr_date_time_parse(&cursor, plain.data() + plain.size(), nullptr, nullptr), 0);
}

TEST(DateTime, FailureLeavesOutputsAlone) {
    const std::string value = "Mon 5 Jan 2009 10:00:00 GMT";
    const char* cursor = value.data();
    struct tm time {};
    time.tm_mday = 42;
    int64_t zone = 7;
    EXPECT_EQ(hdr_date_time_parse(&cursor, value.data() + value.size(), &time, &zone), 1);
    EXPECT_EQ(cursor, value.data());
    EXPECT_EQ(time.tm_mday, 42);
    EXPECT_EQ(zone, 7);
}

TEST(DateTime, EndPointerBoundsTheValue) {
    // The bytes after the end pointer would complete the time; they must not be read.
    const std::string value = "5 Jan 2009 10:30";
    const char* cursor = value.data();
    EXPECT_EQ(hdr_date_time_parse(&cursor, value.data() + 14, nullptr, nullptr), 1);
}

TEST(DaySteps, EachStepOnItsOwn) {
    const std::string text = " (c) Thu rest";
    const char* cursor = text.data();
    int day = -1;
    ASSERT_EQ(hdr_day_of_week_parse(&cursor, text.data() + text.size(), &day), 0);
    EXPECT_EQ(day, 4);
    EXPECT_EQ(std::string(cursor), " rest");

    const std::string bad = "Th";
    cursor = bad.data();
    EXPECT_EQ(hdr_day_of_week_parse(&cursor, bad.data() + bad.size(), &day), 1);

    const std::string date = "12 Dec 99 x";
    cursor = date.data();
    struct tm time {};
    ASSERT_EQ(hdr_date_parse(&cursor, date.data() + date.size(), &time), 0);
    EXPECT_EQ(time.tm_year, 99);
    EXPECT_EQ(time.tm_mon, 11);
    EXPECT_EQ(time.tm_mday, 12);

    const std::string clock = "1:2:3";
    cursor = clock.data();
    int32_t zone = 5;
    ASSERT_EQ(hdr_time_parse(&cursor, clock.data() + clock.size(), &time, &zone), 0);
    EXPECT_EQ(time.tm_hour * 10000 + time.tm_min * 100 + time.tm_sec, 10203);
    EXPECT_EQ(zone, 0);
}

}  // namespace
