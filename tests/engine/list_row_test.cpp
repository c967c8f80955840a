// A message's row in the view's list: where it goes, its cells through the ANSI code page,
// and the decoded values a list that keeps them gets right after each cell.
#include "engine/list_row.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "support/recording_view.h"

namespace {

// Records every call as a line: "insert 2", "cell 2 1 <text>", "decoded 2 1 <text>".
class call_log_view : public recording_view {
  public:
    explicit call_log_view(bool keeps) : keeps_(keeps) {}
    void insert_item(int index) override {
        calls.push_back("insert " + std::to_string(index));
        recording_view::insert_item(index);
    }
    void set_item_text(int item, int subitem, const std::u16string& text) override {
        calls.push_back("cell " + std::to_string(item) + " " + std::to_string(subitem) + " " +
                        platform::utf16_to_utf8(text));
        recording_view::set_item_text(item, subitem, text);
    }
    void set_item_decoded_text(int item, int subitem, const std::string& text) override {
        calls.push_back("decoded " + std::to_string(item) + " " + std::to_string(subitem) + " " +
                        text);
    }
    bool keeps_decoded_text() override { return keeps_; }
    std::vector<std::string> calls;

  private:
    bool keeps_;
};

const char* const message =
    "Date: soon\r\nTo: =?utf-8?Q?B=C3=B8?=\r\nFrom: caf\xE9 \x80\r\nSubject: Hi\r\n\r\n";

TEST(ListRow, RowGoesAfterExistingRowsEvenWithoutFields) {
    call_log_view view(true);
    view.insert_item(0);
    show_list_row(&view, hdr_row_of("\r\nbody only").view());
    show_list_row(&view, hdr_row_of(message).view());
    ASSERT_EQ(view.rows.size(), 3u);
    EXPECT_EQ(view.rows[1].image, 1);
    EXPECT_EQ(view.rows[1].cells, (std::array<std::u16string, 4>{u"", u"", u"", u""}));
    EXPECT_EQ(view.rows[2].cells, (std::array<std::u16string, 4>{u"caf\u00E9 \u20AC", u"Hi",
                                                                 u"=?utf-8?Q?B=C3=B8?=", u"soon"}));
}

TEST(ListRow, DecodedValuesGoOnlyToAListThatKeepsThem) {
    const std::vector<std::string> kept = {"insert 0",
                                           "cell 0 0 caf\xC3\xA9 \xE2\x82\xAC",
                                           "decoded 0 0 caf\xC3\xA9 \xE2\x82\xAC",
                                           "cell 0 1 Hi",
                                           "decoded 0 1 Hi",
                                           "cell 0 2 =?utf-8?Q?B=C3=B8?=",
                                           "decoded 0 2 B\xC3\xB8",
                                           "cell 0 3 soon"};
    call_log_view keeps(true), given(true), plain(false);
    show_list_row(&keeps, hdr_row_of(message).view());
    EXPECT_EQ(keeps.calls, kept);
    // Values decoded already are taken as they are.
    hdr_decoded_values decoded = {"F", std::nullopt, "T"};
    show_list_row(&given, hdr_row_of(message).view(), &decoded);
    EXPECT_EQ(given.calls,
              (std::vector<std::string>{
                  "insert 0", "cell 0 0 caf\xC3\xA9 \xE2\x82\xAC", "decoded 0 0 F", "cell 0 1 Hi",
                  "cell 0 2 =?utf-8?Q?B=C3=B8?=", "decoded 0 2 T", "cell 0 3 soon"}));
    show_list_row(&plain, hdr_row_of(message).view());
    EXPECT_EQ(plain.calls, (std::vector<std::string>{
                               "insert 0", "cell 0 0 caf\xC3\xA9 \xE2\x82\xAC", "cell 0 1 Hi",
                               "cell 0 2 =?utf-8?Q?B=C3=B8?=", "cell 0 3 soon"}));
    show_list_row(nullptr, hdr_row_of(message).view());  // no view: nothing to show
}

}  // namespace
