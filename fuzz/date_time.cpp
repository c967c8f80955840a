// Date values of arbitrary bytes: the reader must stay inside the value and leave the
// cursor where it started when it fails.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "header/date.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that a read past the end pointer is caught.
    std::vector<char> value(data, data + size);
    const char* begin = value.data();
    const char* end = begin + value.size();
    const char* cursor = begin;
    struct tm time {};
    int64_t zone = 0;
    int result = hdr_date_time_parse(&cursor, end, &time, &zone);
    if (result == 1 && cursor != begin) std::abort();
    if (result == 0) {
        if (cursor < begin || cursor > end) std::abort();
        volatile int64_t seconds = hdr_tm_to_utc(&time, zone);
        (void)seconds;
    }
    return 0;
}
