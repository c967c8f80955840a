#include "header/date.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "header/fields.h"
#include "platform/text.h"

namespace {

constexpr const char* day_names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* month_names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct zone_name {
    const char* name;
    int32_t offset;
};
constexpr zone_name zone_names[] = {
    {"UT", 0},       {"UTC", 0},      {"GMT", 0},      {"EST", -18000},
    {"EDT", -14400}, {"CST", -21600}, {"CDT", -18000}, {"MST", -25200},
    {"MDT", -21600}, {"PST", -28800}, {"PDT", -25200},
};

// The index of the three-byte name at the cursor (case matters), -1 when none matches.
template <size_t count>
int match_name(const char* at, const char* end, const char* const (&names)[count]) {
    if (end - at < 3) return -1;
    for (size_t i = 0; i < count; ++i) {
        if (std::memcmp(at, names[i], 3) == 0) return static_cast<int>(i);
    }
    return -1;
}

// Two-digit years 00 to 49 are 2000 to 2049 and 50 to 99 are 1950 to 1999; three-digit
// years count from 1900; four digits stand as written.
int full_year(uint32_t year, long digits) {
    if (digits == 2) return static_cast<int>(year < 50 ? year + 2000 : year + 1900);
    if (digits == 3) return static_cast<int>(year + 1900);
    return static_cast<int>(year);
}

// A zone name, or a numeric zone of 4 or 5 bytes ("+0530", "-0800", "0530"); anything
// else, "Z" and "CEST" among them, is read as UTC.
int32_t zone_offset(const std::string& atom) {
    for (const auto& zone : zone_names) {
        if (platform::equal_ignoring_case(atom, zone.name)) return zone.offset;
    }
    if (atom.size() != 4 && atom.size() != 5) return 0;
    const char* at = atom.data();
    const char* end = at + atom.size();
    int32_t sign = 1;
    if (*at == '+' || *at == '-') sign = *at++ == '-' ? -1 : 1;
    uint32_t digits = 0;
    if (hdr_number_parse(&digits, &at, end, 4, 4) != 0) return 0;
    auto hours = static_cast<int32_t>(digits / 100);
    auto minutes = static_cast<int32_t>(digits % 100);
    return sign * (hours * 60 + minutes) * 60;
}

// A colon right at the cursor after folding white space, and 1 or 2 digits right after it.
bool read_colon_part(const char** cursor, const char* end, uint32_t* value) {
    hdr_fws_parse(cursor, end);
    if (*cursor == end || **cursor != ':') return false;
    ++*cursor;
    return hdr_number_parse(value, cursor, end, 1, 2) == 0;
}

}  // namespace

int hdr_day_of_week_parse(const char** cursor, const char* end, int* day) {
    const char* start = *cursor;
    hdr_cfws_skip(cursor, end);
    int index = match_name(*cursor, end, day_names);
    if (index < 0) {
        *cursor = start;
        return 1;
    }
    *cursor += 3;
    *day = index;
    return 0;
}

// Day, month name and year; nothing needs to separate them ("5Jan2009").
int hdr_date_parse(const char** cursor, const char* end, struct tm* time) {
    const char* start = *cursor;
    uint32_t day = 0;
    uint32_t year = 0;
    hdr_cfws_skip(cursor, end);
    if (hdr_number_parse(&day, cursor, end, 1, 2) == 0) {
        hdr_cfws_skip(cursor, end);
        int month = match_name(*cursor, end, month_names);
        if (month >= 0) {
            *cursor += 3;
            hdr_cfws_skip(cursor, end);
            const char* year_start = *cursor;
            if (hdr_number_parse(&year, cursor, end, 2, 4) == 0) {
                time->tm_mday = static_cast<int>(day);
                time->tm_mon = month;
                time->tm_year = full_year(year, *cursor - year_start) - 1900;
                return 0;
            }
        }
    }
    *cursor = start;
    return 1;
}

// Hour and minute, an optional second, then the zone. White space may stand before a
// colon but not after it. A missing or unreadable zone is UTC.
int hdr_time_parse(const char** cursor, const char* end, struct tm* time, int32_t* zone) {
    const char* start = *cursor;
    uint32_t hour = 0;
    uint32_t minute = 0;
    uint32_t second = 0;
    hdr_cfws_skip(cursor, end);
    bool read =
        hdr_number_parse(&hour, cursor, end, 1, 2) == 0 && read_colon_part(cursor, end, &minute);
    if (read) {
        hdr_fws_parse(cursor, end);
        if (*cursor != end && **cursor == ':') read = read_colon_part(cursor, end, &second);
    }
    if (!read) {
        *cursor = start;
        return 1;
    }
    std::string atom;
    *zone = hdr_atom_parse(cursor, end, &atom) == 0 ? zone_offset(atom) : 0;
    time->tm_hour = static_cast<int>(hour);
    time->tm_min = static_cast<int>(minute);
    time->tm_sec = static_cast<int>(second);
    return 0;
}

// Strict about names and order, lenient about white space and comments, and checks no
// field for range. A day name must be followed by a comma.
int hdr_date_time_parse(const char** cursor, const char* end, struct tm* time, int64_t* zone) {
    const char* start = *cursor;
    struct tm parsed {};
    int day = 0;
    int32_t offset = 0;
    bool read = true;
    if (hdr_day_of_week_parse(cursor, end, &day) == 0) {
        hdr_cfws_skip(cursor, end);
        hdr_fws_parse(cursor, end);
        read = *cursor != end && **cursor == ',';
        if (read) ++*cursor;
    }
    read = read && hdr_date_parse(cursor, end, &parsed) == 0 &&
           hdr_time_parse(cursor, end, &parsed, &offset) == 0;
    if (!read) {
        *cursor = start;
        return 1;
    }
    parsed.tm_wday = day;
    parsed.tm_yday = 0;
    parsed.tm_isdst = -1;
    if (time != nullptr) *time = parsed;
    if (zone != nullptr) *zone = offset;
    return 0;
}

// Days are counted from a March-based year, so the leap day falls at the end of it; the
// constant is that count for 1970-01-01.
int64_t hdr_tm_to_utc(const struct tm* time, int64_t zone) {
    int64_t year = static_cast<int64_t>(time->tm_year) + 1900;
    int64_t month = static_cast<int64_t>(time->tm_mon) + 1;
    if (month < 3) {
        month += 12;
        year -= 1;
    }
    int64_t days =
        (153 * month - 457) / 5 + 365 * year + year / 4 - year / 100 + year / 400 + time->tm_mday;
    return (days - 719469) * 86400 + static_cast<int64_t>(time->tm_hour) * 3600 +
           static_cast<int64_t>(time->tm_min) * 60 + time->tm_sec - zone;
}

hdr_utc_time hdr_utc_of(int64_t seconds) {
    int64_t days = seconds / 86400, rest = seconds % 86400;
    if (rest < 0) rest += 86400, --days;
    int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    int64_t day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
    int64_t weekday = (days % 7 + 11) % 7;  // 1970-01-01 was a Thursday
    return {yoe + era * 400 + (month <= 2),
            int(month),
            int(day),
            int(rest / 3600),
            int(rest / 60 % 60),
            int(rest % 60),
            int(weekday)};
}

bool hdr_in_calendar_years(int64_t seconds) {
    int64_t year = hdr_utc_of(seconds).year;
    return year >= 1 && year <= 9999;
}

std::string hdr_asctime_utc(int64_t seconds) {
    hdr_utc_time t = hdr_utc_of(seconds);
    char text[64];  // room for any year a 64-bit count of seconds gives
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %" PRId64, day_names[t.weekday],
                  month_names[t.month - 1], t.day, t.hour, t.minute, t.second, t.year);
    return text;
}

std::optional<int64_t> hdr_date_value(std::string_view value) {
    const char* cursor = value.data();
    struct tm time {};
    int64_t zone = 0;
    if (hdr_date_time_parse(&cursor, value.data() + value.size(), &time, &zone) != 0) {
        return std::nullopt;
    }
    return hdr_tm_to_utc(&time, zone);
}
