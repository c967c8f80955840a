#pragma once
// The Date field: an RFC 822 date-time read into a broken-down time and a zone offset,
// and that pair turned into seconds since 1970-01-01 00:00:00 UTC.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// 0 when a date-time was read (each output filled when its pointer is non-null);
// 1 otherwise, with the cursor put back and the outputs untouched.
int hdr_date_time_parse(const char** cursor, const char* end, struct tm* time, int64_t* zone);

// The steps of a date-time; each returns 0 or 1.
int hdr_day_of_week_parse(const char** cursor, const char* end, int* day);
int hdr_date_parse(const char** cursor, const char* end, struct tm* time);
int hdr_time_parse(const char** cursor, const char* end, struct tm* time, int32_t* zone);

// Seconds since the epoch; out-of-range fields simply count on.
int64_t hdr_tm_to_utc(const struct tm* time, int64_t zone);

// Seconds since the epoch as a UTC date and time, by the proleptic Gregorian calendar.
struct hdr_utc_time {
    int64_t year;
    int month, day, hour, minute, second;  // month 1 to 12, day 1 to 31
    int weekday;                           // 0 Sunday
};
hdr_utc_time hdr_utc_of(int64_t seconds);

// Whether seconds since the epoch fall in the years 1 to 9999: the dates that a calendar
// date of four digits (ISO 8601, asctime) can write.
bool hdr_in_calendar_years(int64_t seconds);

// The same as asctime writes it: "Thu Jan  1 00:00:00 1970".
std::string hdr_asctime_utc(int64_t seconds);

// A whole Date value as seconds since the epoch; none when it does not parse.
std::optional<int64_t> hdr_date_value(std::string_view value);
