// Date values to seconds since the epoch, and the steps of the date-time reader.
#include "header/date.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "header/date_forms.h"

namespace {

using date_forms::unreadable;

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

using date_forms::row;

void check_rows(const std::vector<row>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(seconds(rows[i].value), rows[i].expected) << "row " << i << ": " << rows[i].value;
    }
}

TEST(DateTime, WorkedValues) {
    check_rows(date_forms::worked_values());
}

TEST(DateTime, Years) {
    check_rows(date_forms::years());
}

TEST(DateTime, StrictNamesAndOrder) {
    check_rows(date_forms::strict_names_and_order());
}

TEST(DateTime, WhiteSpaceAndComments) {
    check_rows(date_forms::white_space_and_comments());
}

TEST(DateTime, Zones) {
    const int64_t base = date_forms::zone_base;
    const auto zones = date_forms::zones();
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
    check_rows(date_forms::no_range_checks());
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
