// The message list at scale and what can be done with its rows: a store of 100,000
// messages through the real dialog, sorting by each column, the decoded view, opening a
// message, and a file in which nothing is found.
// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "app/engine_view.h"
#include "app/message_preview.h"
#include "app/message_rows.h"
#include "app/resource.h"
#include "app/worker.h"
#include "dialog_driver.h"
#include "engine/engine.h"
#include "header/decode.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "support/recording_view.h"
#include "support/temp_dir.h"
#include "tools/dbxgen/dbxgen.h"

namespace {

std::string file_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::wstring upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// -1, 0 or 1 as `a` sorts before, with or after `b` in the column.
int order_of(int column, const std::wstring& a, const std::wstring& b) {
    if (column != 3) {
        std::wstring x = upper(a), y = upper(b);
        return x < y ? -1 : x == y ? 0 : 1;
    }
    auto x = row_date(std::u16string(a.begin(), a.end()));
    auto y = row_date(std::u16string(b.begin(), b.end()));
    if (x.has_value() != y.has_value()) return x ? 1 : -1;
    return !x || *x == *y ? 0 : *x < *y ? -1 : 1;
}

// The list's own order of text: ignoring case, as the system's file lists sort names.
bool text_before(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), int(a.size()), b.data(), int(b.size()), TRUE) ==
           CSTR_LESS_THAN;
}

// A cell as the list hands it out: up to a NUL a decoded word may hold.
std::wstring as_cell(const std::u16string& text) {
    std::wstring wide_text(text.begin(), text.end());
    return wide_text.c_str();
}

// What a column shows for each row, in the engine's order: the values as written, or
// decoded from the bytes the list shows as written, and a date that parses in the user's
// form.
std::vector<std::wstring> column_of(const recording_view& reference, int column, bool decoded) {
    std::vector<std::wstring> values;
    for (const recording_view::row& row : reference.rows) {
        const std::u16string& raw = row.cells[size_t(column)];
        std::optional<int64_t> date = column == 3 ? row_date(raw) : std::nullopt;
        if (decoded && date) {
            values.push_back(local_date_text(*date));
            continue;
        }
        values.push_back(as_cell(decoded && column < 3 ? platform::utf8_to_utf16(hdr_decode_text(
                                                             platform::utf16_to_ansi(raw)))
                                                       : raw));
    }
    return values;
}

// What a text column sorts by: in the decoded view From and To sort by the first name.
std::vector<std::wstring> keys_of(const recording_view& reference, int column, bool decoded) {
    std::vector<std::wstring> keys = column_of(reference, column, decoded);
    for (size_t r = 0; decoded && column != 1 && r < keys.size(); ++r) {
        if (auto name = row_name(reference.rows[r].cells[size_t(column)])) keys[r] = as_cell(*name);
    }
    return keys;
}

// The dialog's tip window over the list's cells.
HWND tip_of(HWND dialog) {
    struct search {
        HWND owner;
        HWND found;
    } wanted{dialog, nullptr};
    EnumThreadWindows(
        GetWindowThreadProcessId(dialog, nullptr),
        [](HWND candidate, LPARAM data) -> BOOL {
            auto* wanted = reinterpret_cast<search*>(data);
            wchar_t name[64] = {};
            GetClassNameW(candidate, name, 64);
            if (lstrcmpiW(name, TOOLTIPS_CLASSW) != 0 ||
                GetWindow(candidate, GW_OWNER) != wanted->owner)
                return TRUE;
            wanted->found = candidate;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&wanted));
    return wanted.found;
}

std::wstring tip_text(HWND tip, HWND list) {
    wchar_t text[256] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = list;
    tool.uId = 1;
    tool.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
    return text;
}

}  // namespace

class dialog_list_test : public dialog_test {
  protected:
    void scan(const std::string& store) {
        pick_store(store);
        click(1001);
        click(IDOK);
        ASSERT_TRUE(wait_for_run_end(600000));
    }
    std::function<bool()> opened_at_least(size_t files) {
        return [this, files] {
            std::lock_guard<std::mutex> hold(lock);
            return opened.size() >= files;
        };
    }
    // A real click on a column's header.
    void click_header(int column) {
        HWND header = reinterpret_cast<HWND>(SendMessageW(item(1002), LVM_GETHEADER, 0, 0));
        RECT at;
        SendMessageW(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&at));
        LPARAM point = MAKELPARAM((at.left + at.right) / 2, (at.top + at.bottom) / 2);
        SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, point);
        SendMessageW(header, WM_LBUTTONUP, 0, point);
    }
    int header_arrow(int column) {
        HWND header = reinterpret_cast<HWND>(SendMessageW(item(1002), LVM_GETHEADER, 0, 0));
        HDITEMW info{};
        info.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&info));
        return info.fmt & (HDF_SORTUP | HDF_SORTDOWN);
    }
    temp_dir place;
};

TEST_F(dialog_list_test, a_hundred_thousand_messages_are_listed_and_sorted_by_each_column) {
    std::string store = make_store(place.file("Big.dbx"), 100000, 3000, 29);
    command(ID_VIEW_PREVIEW);  // the list alone, every column's header in sight
    recording_view reference;
    {
        scoped_main_dialog use(&reference);
        recover_store(nullptr, store.c_str());
    }
    scan(store);
    ASSERT_EQ(rows(), static_cast<int>(reference.rows.size()));
    ASSERT_GE(rows(), 100000);
    for (size_t r = 0; r < reference.rows.size(); r += 997) {
        for (int c = 0; c < 4; ++c) {
            const std::u16string& expected = reference.rows[r].cells[size_t(c)];
            EXPECT_EQ(cell(int(r), c), std::wstring(expected.begin(), expected.end()))
                << "row " << r << " column " << c;
        }
    }
    // Sorted, each column reads in order from top to bottom, and the other way after a
    // second click; a sample of rows stands for the whole list.
    for (int column = 0; column < 4; ++column) {
        for (int direction : {1, -1}) {
            click_header(column);
            EXPECT_EQ(header_arrow(column), direction > 0 ? HDF_SORTUP : HDF_SORTDOWN);
            std::wstring previous = cell(0, column);
            for (int r = 211; r < rows(); r += 211) {
                std::wstring next = cell(r, column);
                ASSERT_LE(order_of(column, previous, next) * direction, 0)
                    << "column " << column << " rows up to " << r;
                previous = next;
            }
        }
    }
}

// The scan is held once it has found 100 messages: they are listed, each with its own
// message's cells, while the store is still read; sorted by Subject there, the list keeps
// that sort when the chains' rows replace them, and then holds every message.
TEST_F(dialog_list_test, rows_show_while_the_store_is_read_and_the_chains_rows_keep_their_sort) {
    std::string store = make_store(place.file("Found.dbx"), 600, 60, 31);
    recording_view reference;
    {
        scoped_main_dialog use(&reference);
        recover_store(nullptr, store.c_str());
    }
    auto* view = dynamic_cast<engine_view*>(main_dialog);
    ASSERT_NE(view, nullptr);
    struct letting_go {
        engine_view* view;
        ~letting_go() { view->let_scan_go(); }
    } let_go{view};
    view->hold_scan_after(100);
    pick_store(store);
    click(1001);
    click(IDOK);
    ASSERT_TRUE(wait_until([&] { return rows() == 100; }));
    EXPECT_TRUE(run_in_progress());
    EXPECT_LT(progress(), 80);
    std::multiset<std::vector<std::wstring>> messages;
    for (const recording_view::row& row : reference.rows) {
        std::vector<std::wstring> cells;
        for (const std::u16string& text : row.cells) cells.push_back(as_cell(text));
        messages.insert(cells);
    }
    click_header(1);
    for (int r = 0; r < 100; ++r) {
        std::vector<std::wstring> cells;
        for (int c = 0; c < 4; ++c) cells.push_back(cell(r, c));
        EXPECT_TRUE(messages.count(cells)) << "row " << r << ": " << utf8(cells[1]);
        if (r > 0) {
            EXPECT_FALSE(text_before(cells[1], cell(r - 1, 1))) << "row " << r;
        }
    }
    view->let_scan_go();
    ASSERT_TRUE(wait_for_run_end());
    ASSERT_EQ(rows(), int(reference.rows.size()));
    EXPECT_EQ(header_arrow(1), HDF_SORTUP);
    // Every message, by Subject and then the other way; equal subjects in the engine's order
    // both ways.
    std::vector<std::vector<std::wstring>> in_order;
    for (const recording_view::row& row : reference.rows) {
        std::vector<std::wstring> cells;
        for (const std::u16string& text : row.cells) cells.push_back(as_cell(text));
        in_order.push_back(cells);
    }
    auto listed = [this] {
        std::vector<std::vector<std::wstring>> shown(static_cast<size_t>(rows()));
        for (int r = 0; r < rows(); ++r) {
            for (int c = 0; c < 4; ++c) shown[size_t(r)].push_back(cell(r, c));
        }
        return shown;
    };
    std::vector<std::vector<std::wstring>> expected = in_order;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return text_before(a[1], b[1]); });
    EXPECT_EQ(listed(), expected);
    click_header(1);
    expected = in_order;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return text_before(b[1], a[1]); });
    EXPECT_EQ(listed(), expected);
}

TEST_F(dialog_list_test, decoded_text_shows_and_sorts_from_subject_and_to_as_people_read_them) {
    std::string charsets = place.file("Charsets.dbx");
    ASSERT_TRUE(dbxgen::charset_store().write_file(charsets));
    bool names_sort_apart = false;  // a decoded name column sorts otherwise than its text
    for (const std::string& store : {charsets, make_store(place.file("Mixed.dbx"), 300, 20, 29)}) {
        recording_view reference;
        {
            scoped_main_dialog use(&reference);
            recover_store(nullptr, store.c_str());
        }
        scan(store);
        ASSERT_EQ(rows(), int(reference.rows.size())) << store;
        HMENU menu = GetMenu(window);
        auto shown_column = [&](int column) {
            std::vector<std::wstring> values;
            for (int r = 0; r < rows(); ++r) values.push_back(cell(r, column));
            return values;
        };
        auto sorted = [](std::vector<std::wstring> values) {
            std::stable_sort(values.begin(), values.end(), text_before);
            return values;
        };
        int changed = 0;  // cells whose decoded text differs from the text as written
        for (bool decoded : {true, false}) {
            command(ID_VIEW_DECODED_TEXT);
            EXPECT_EQ((GetMenuState(menu, ID_VIEW_DECODED_TEXT, MF_BYCOMMAND) & MF_CHECKED) != 0,
                      decoded);
            for (int column = 0; column < 4; ++column) {
                std::vector<std::wstring> expected = column_of(reference, column, decoded);
                EXPECT_EQ(shown_column(column), expected) << store << " column " << column;
                if (decoded) changed += int(expected != column_of(reference, column, false));
            }
        }
        EXPECT_EQ(changed, 4) << "every column reads differently somewhere";
        // Sorted by each text column, the order follows what is shown as written, and the
        // names people read in the decoded view.
        for (int column = 0; column < 3; ++column) {
            click_header(column);
            for (bool decoded : {true, false}) {
                command(ID_VIEW_DECODED_TEXT);
                // Each text shown stands for its sort key (a text that could stand for two
                // keys is left out of the comparison).
                std::vector<std::wstring> keys = keys_of(reference, column, decoded);
                std::vector<std::wstring> texts = column_of(reference, column, decoded);
                std::map<std::wstring, std::optional<std::wstring>> key_of;
                for (size_t r = 0; r < keys.size(); ++r) {
                    auto [at, added] = key_of.emplace(texts[r], keys[r]);
                    if (!added && at->second != keys[r]) at->second.reset();
                }
                std::vector<std::wstring> shown = shown_column(column);
                if (decoded && column != 1)
                    names_sort_apart |= !std::is_sorted(shown.begin(), shown.end(), text_before);
                std::vector<std::wstring> expected = sorted(keys);
                for (size_t r = 0; r < shown.size(); ++r) {
                    ASSERT_TRUE(key_of.count(shown[r])) << utf8(shown[r]);
                    const std::optional<std::wstring>& key = key_of[shown[r]];
                    if (!key) continue;
                    EXPECT_FALSE(text_before(*key, expected[r]) || text_before(expected[r], *key))
                        << store << " column " << column << " row " << r << ": " << utf8(shown[r]);
                }
            }
        }
    }
    EXPECT_TRUE(names_sort_apart) << "quoted and bare names sort by the name";

    // Over a date shown in the user's form, a tip gives the Date as written; it goes when
    // the mouse leaves, and the view as written has none.
    command(ID_VIEW_PREVIEW);  // every column's header in sight
    click_header(3);
    HWND list = item(1002), tip = tip_of(window);
    ASSERT_NE(tip, nullptr);
    auto hover = [&](int row) {
        SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
        RECT at{LVIR_BOUNDS, 3, 0, 0};
        SendMessageW(list, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&at));
        SendMessageW(list, WM_MOUSEHOVER, 0,
                     MAKELPARAM((at.left + at.right) / 2, (at.top + at.bottom) / 2));
    };
    int row = 0;
    auto as_u16 = [](const std::wstring& text) { return std::u16string(text.begin(), text.end()); };
    while (row < 5 && !row_date(as_u16(cell(row, 3)))) ++row;
    ASSERT_LT(row, 5);
    std::wstring written = cell(row, 3);
    hover(row);
    EXPECT_FALSE(IsWindowVisible(tip)) << "no tip in the view as written";
    command(ID_VIEW_DECODED_TEXT);
    ASSERT_NE(cell(row, 3), written);
    hover(row);
    EXPECT_TRUE(IsWindowVisible(tip));
    EXPECT_EQ(tip_text(tip, list), written);
    SendMessageW(list, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(tip));
}

TEST_F(dialog_list_test, a_row_opens_its_message_as_a_read_only_temporary_file) {
    std::string store = make_store(place.file("Inbox.dbx"), 6, 2, 29);
    temp_dir saved;
    save_mode = 1;
    std::string target = utf8(saved.path().wstring()) + "\\Inbox.dbx";
    {
        recording_view quiet;
        scoped_main_dialog use(&quiet);
        recover_store(target.c_str(), store.c_str());
    }
    save_mode = 0;
    scan(store);
    ASSERT_EQ(rows(), 8);
    click_header(1);  // the rows shown no longer stand in the engine's order

    // Enter on the selected row, then a double-click on another.
    HWND list = item(1002);
    SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
    LVITEMW select{};
    select.stateMask = select.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, 6, reinterpret_cast<LPARAM>(&select));
    PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
    RECT row_at{};
    row_at.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row_at));
    LPARAM point = MAKELPARAM(row_at.left + 20, (row_at.top + row_at.bottom) / 2);
    ASSERT_TRUE(wait_until(opened_at_least(1))) << "Enter";
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    PostMessageW(list, WM_LBUTTONUP, 0, point);
    wait_until(opened_at_least(2));

    std::vector<std::filesystem::path> files;
    {
        std::lock_guard<std::mutex> hold(lock);
        ASSERT_EQ(opened.size(), 2u);
        for (const std::wstring& call : opened) {
            ASSERT_EQ(call.rfind(L"open ", 0), 0u);
            files.emplace_back(call.substr(5, call.size() - 7));  // "open " path " 1"
        }
    }
    EXPECT_NE(files[0], files[1]);
    for (const auto& file : files) {
        DWORD attributes = GetFileAttributesW(file.c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << file;
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
        // The very bytes a save writes for the same message.
        std::filesystem::path same;
        for (auto& entry : std::filesystem::recursive_directory_iterator(saved.path())) {
            if (entry.path().filename() == file.filename()) same = entry.path();
        }
        ASSERT_FALSE(same.empty()) << file;
        EXPECT_EQ(file_bytes(file), file_bytes(same));
    }
    EXPECT_TRUE(boxes().empty());
    answer_box(IDYES);  // rows in the list: Esc asks
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(wait_for_dialog_end());
    for (const auto& file : files) EXPECT_FALSE(std::filesystem::exists(file)) << "removed at exit";
}

TEST_F(dialog_list_test, a_file_with_no_block_says_so_and_a_save_makes_no_folder) {
    std::string noise = place.file("picture.dbx");
    {
        std::ofstream out(std::filesystem::u8path(noise), std::ios::binary);
        for (int i = 0; i < 20000; ++i) out.put(static_cast<char>((i * 7919) >> 3));
    }
    const std::wstring said =
        L"No messages were found in " + wide(noise) + L". It may not be an Outlook Express store.";
    scan(noise);
    EXPECT_EQ(rows(), 0);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, said);
    EXPECT_EQ(boxes()[0].flags, 0x1030u);

    temp_dir out;
    click(1005);
    choose_folder(out.path().wstring());
    click(1003);
    ASSERT_TRUE(wait_for_run_end());
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(boxes()[1].text, said) << "instead of a completion box";
    EXPECT_TRUE(std::filesystem::is_empty(out.path())) << "no folder made";

    click(1017);
    pick_files((out.path() / "Noise.pst").wstring());
    click(1003);
    ASSERT_TRUE(wait_for_run_end());
    ASSERT_EQ(boxes().size(), 3u);
    EXPECT_EQ(boxes()[2].text, said);
    EXPECT_TRUE(std::filesystem::is_empty(out.path())) << "no empty data file";
}
