#pragma once
// The Date values of the date tests, by theme, with the seconds since the epoch each one
// stands for. The .msg tests save a message with each of them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "header/date.h"

namespace date_forms {

constexpr int64_t unreadable = -1;

// Seconds since the epoch of a UTC calendar date.
inline int64_t utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
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

inline std::vector<row> worked_values() {
    return {
        {"Tue, 15 Nov 1994 08:12:31 GMT", 784887151},
        {"Tue, 5 Oct 2010 10:00:00 -0500", 1286290800},
        {"1 Jan 2040 00:00:00 GMT", 2208988800},
        {"13 Feb 2009 23:31:30 +0000", 1234567890},
        {"1 Jan 1970 00:00:00 GMT", 0},
        {"29 Feb 2000 12:00:00 GMT", 951825600},
        {"31 Dec 1969 23:59:59 GMT", -1},
        {"1 Mar 1900 00:00:00 GMT", -2203891200},
    };
}

inline std::vector<row> years() {
    return {
        {"Mon, 1 Jan 01 00:00:00 GMT", utc(2001, 1, 1)},
        {"1 Jan 49 00:00 GMT", utc(2049, 1, 1)},
        {"1 Jan 50 00:00 GMT", utc(1950, 1, 1)},
        {"1 Jan 99 00:00 GMT", utc(1999, 1, 1)},
        {"1 Jan 101 00:00 GMT", utc(2001, 1, 1)},
        {"1 Jan 0049 00:00 GMT", utc(49, 1, 1)},
        {"1 Jan 9 00:00 GMT", unreadable},
        // A fifth year digit is left for the hour.
        {"1 Jan 20091:02", utc(2009, 1, 1, 1, 2)},
    };
}

inline std::vector<row> strict_names_and_order() {
    return {
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
    };
}

inline std::vector<row> white_space_and_comments() {
    return {
        {"(note) Tue, 15 Nov 1994 08:12:31 GMT (comment)", 784887151},
        {"Tue,(a)15(b)Nov(c)1994(d)08:12:31(e)GMT", 784887151},
        {"  Tue,\r\n 15 Nov 1994\r\n\t08:12:31 GMT", 784887151},
        {"5 Jan 2009 10 :30", utc(2009, 1, 5, 10, 30)},
        {"5 Jan 2009 10:30 :15", utc(2009, 1, 5, 10, 30, 15)},
        {"5 Jan 2009 10: 30", unreadable},
        {"5 Jan 2009 10 : 30", unreadable},
        {"5 Jan 2009 10:00", utc(2009, 1, 5, 10)},
        {"(unclosed 5 Jan 2009 10:00", unreadable},
    };
}

inline std::vector<row> no_range_checks() {
    return {
        {"31 Feb 2009 00:00 GMT", utc(2009, 3, 3)},
        {"5 Jan 2009 25:00 GMT", utc(2009, 1, 6, 1)},
        {"5 Jan 2009 10:75 GMT", utc(2009, 1, 5, 11, 15)},
        {"0 Jan 2009 00:00 GMT", utc(2008, 12, 31)},
    };
}

// Zones, each after "5 Jan 2009 10:00 ", with their offsets east of UTC.
inline std::vector<std::pair<std::string, int64_t>> zones() {
    return {
        {"+0530", 19800}, {"-0800", -28800},    {"0530", 19800}, {"est", -18000},
        {"UT", 0},        {"utc", 0},           {"EDT", -14400}, {"CST", -21600},
        {"CDT", -18000},  {"MST", -25200},      {"MDT", -21600}, {"PST", -28800},
        {"pdt", -25200},  {"CEST", 0},          {"Z", 0},        {"+05:30", 0},
        {"+050", 0},      {"+9999", 362340},    {"-00001", 0},   {"05301", 19800},
        {"+05a0", 0},     {"(c) -0100", -3600}, {"", 0},         {",GMT", 0},
    };
}

// Every whole Date value above.
inline std::vector<std::string> all_values() {
    std::vector<std::string> values;
    for (auto rows : {worked_values(), years(), strict_names_and_order(),
                      white_space_and_comments(), no_range_checks()}) {
        for (const row& r : rows) values.push_back(r.value);
    }
    for (const auto& zone : zones()) values.push_back("5 Jan 2009 10:00 " + zone.first);
    return values;
}

}  // namespace date_forms
