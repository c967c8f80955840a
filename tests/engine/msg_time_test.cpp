// A .msg file's submit time is the time its file carries, for every form of Date the date
// tests read: the built-in store and the engine read the header with one grammar.

#include "cfb_reader.h"
#include "engine_fixture.h"
#include "header/date_forms.h"

namespace {

constexpr uint32_t pr_client_submit_time = 0x00390040;
constexpr int64_t latest_file_time = 32535244799;  // beyond it, file times are left alone
constexpr int64_t year_1601 = -11644473600;        // a .msg time cannot go before

// The submit time of a .msg file in seconds since 1970; none when it has none.
std::optional<int64_t> submit_time(const std::string& path) {
    cfb_file file = read_cfb(file_bytes(path));
    const cfb_entry* entry = file.find("__properties_version1.0");
    if (entry == nullptr) return std::nullopt;
    auto properties = read_properties(entry->data, 32);
    if (!properties.values.count(pr_client_submit_time)) return std::nullopt;
    auto filetime = static_cast<int64_t>(properties.values[pr_client_submit_time]);
    return filetime / 10000000 - 11644473600LL;
}

TEST_F(engine_test, MsgSubmitTimeIsTheFileTimeForEveryDateForm) {
    std::vector<date_forms::row> dates = date_forms::all_rows();
    dbxgen::store_image image;
    image.put_signature();
    dbxgen::random_source random(1);
    std::vector<uint32_t> heads;
    uint32_t next = 0x200;
    for (size_t i = 0; i < dates.size(); ++i) {
        std::string text = mail("Ann", "Bob", "date " + std::to_string(i), dates[i].value);
        auto offsets = dbxgen::lay_out_blocks(next, dbxgen::live_blocks_for(text.size()),
                                              dbxgen::block_order::in_order, random);
        image.add_message(text, offsets);
        heads.push_back(next);
        next += static_cast<uint32_t>(offsets.size()) * dbxgen::block_size;
    }
    std::string out = dir.file("out");
    auto result = run(write_store(image), 2, out);
    ASSERT_EQ(result.outcome.errors, 0) << result.err;

    for (size_t i = 0; i < dates.size(); ++i) {
        char number[16];
        std::snprintf(number, sizeof number, ".%08X.msg", heads[i]);
        std::string path =
            out + separator + "Inbox" + separator + "Ann_Bob_date " + std::to_string(i) + number;
        int64_t date = dates[i].expected;
        std::optional<int64_t> submitted = submit_time(path);
        if (date == date_forms::unreadable || date <= year_1601) {
            EXPECT_FALSE(submitted) << "row " << i << ": " << dates[i].value;
        } else {
            EXPECT_EQ(submitted, date) << "row " << i << ": " << dates[i].value;
            if (date >= 0 && date <= latest_file_time) {
                EXPECT_EQ(modification_time(path), date) << "row " << i << ": " << dates[i].value;
            }
        }
    }
}

}  // namespace
