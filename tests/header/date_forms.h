#pragma once
// The Date values of the date tests, by theme, with the seconds since the epoch each one
// stands for. The .msg tests save a message with each of them.

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace date_forms {

// Apart from every real value (-1 is 31 Dec 1969 23:59:59).
constexpr int64_t unreadable = std::numeric_limits<int64_t>::min();

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
        {"Mon, 1 Jan 01 00:00:00 GMT", 978307200},
        {"1 Jan 49 00:00 GMT", 2493072000},
        {"1 Jan 50 00:00 GMT", -631152000},
        {"1 Jan 99 00:00 GMT", 915148800},
        {"1 Jan 101 00:00 GMT", 978307200},
        {"1 Jan 0049 00:00 GMT", -60620832000},
        {"1 Jan 9 00:00 GMT", unreadable},
        // A fifth year digit is left for the hour.
        {"1 Jan 20091:02", 1230771720},
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
        {"Sun, 5 Jan 2009 10:00 GMT", 1231149600},  // the day name is never checked
        {"Mon , 5 Jan 2009 10:00 GMT", 1231149600},
        {"Mon(c),5 Jan 2009 10:00 GMT", 1231149600},
        {"5Jan2009 10:00 GMT", 1231149600},
        {"5 Jan 2009 10:00:00 GMT trailing words", 1231149600},
    };
}

inline std::vector<row> white_space_and_comments() {
    return {
        {"(note) Tue, 15 Nov 1994 08:12:31 GMT (comment)", 784887151},
        {"Tue,(a)15(b)Nov(c)1994(d)08:12:31(e)GMT", 784887151},
        {"  Tue,\r\n 15 Nov 1994\r\n\t08:12:31 GMT", 784887151},
        {"5 Jan 2009 10 :30", 1231151400},
        {"5 Jan 2009 10:30 :15", 1231151415},
        {"5 Jan 2009 10: 30", unreadable},
        {"5 Jan 2009 10 : 30", unreadable},
        {"5 Jan 2009 10:00", 1231149600},
        {"(unclosed 5 Jan 2009 10:00", unreadable},
    };
}

inline std::vector<row> no_range_checks() {
    return {
        {"31 Feb 2009 00:00 GMT", 1236038400},
        {"5 Jan 2009 25:00 GMT", 1231203600},
        {"5 Jan 2009 10:75 GMT", 1231154100},
        {"0 Jan 2009 00:00 GMT", 1230681600},
    };
}

// Zones, each after "5 Jan 2009 10:00 " (1231149600 in UTC), with their offsets east of UTC.
constexpr int64_t zone_base = 1231149600;
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

// Every whole Date value above, with its seconds.
inline std::vector<row> all_rows() {
    std::vector<row> all;
    for (auto rows : {worked_values(), years(), strict_names_and_order(),
                      white_space_and_comments(), no_range_checks()}) {
        all.insert(all.end(), rows.begin(), rows.end());
    }
    for (const auto& zone : zones()) {
        all.push_back({"5 Jan 2009 10:00 " + zone.first, zone_base - zone.second});
    }
    return all;
}

}  // namespace date_forms
