// Reading, choosing and keeping mail in the dialog: the status bar's counts and the
// fragment marks, Esc and a failed save that keep the rows, Save selected writing exactly
// the chosen messages' files, and the preview of a MIME message and of a fragment.
// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/resource.h"
#include "app/wide_text.h"
#include "dialog_driver.h"
#include "engine/engine.h"
#include "pst_check.h"
#include "support/files.h"
#include "support/recording_view.h"
#include "support/temp_dir.h"
#include "tools/dbxgen/dbxgen.h"

namespace {

using cells = std::array<std::wstring, 4>;

const std::wstring fragment_mark = L"\u2020";

// A store made of the given messages and one deleted fragment, each in blocks of its own.
std::string store_of(const std::string& path, const std::vector<std::string>& messages,
                     const std::string& fragment) {
    dbxgen::store_image image;
    image.put_signature();
    dbxgen::random_source random(5);
    uint32_t at = 0x200;
    for (const std::string& text : messages) {
        auto blocks = dbxgen::lay_out_blocks(at, dbxgen::live_blocks_for(text.size()),
                                             dbxgen::block_order::in_order, random);
        image.add_message(text, blocks);
        at += uint32_t(blocks.size() * dbxgen::block_size);
    }
    auto blocks = dbxgen::lay_out_blocks(at, dbxgen::freed_blocks_for(fragment.size()),
                                         dbxgen::block_order::in_order, random);
    image.add_freed_fragment(fragment, blocks, 0);
    EXPECT_TRUE(image.write_file(path));
    return path;
}

}  // namespace

class dialog_choice_test : public dialog_test {
  protected:
    void scan(const std::string& store) {
        pick_store(store);
        click(1001);
        click(IDOK);
        ASSERT_TRUE(wait_for_run_end());
    }
    std::wstring status(int part) const {
        wchar_t text[512] = {};
        SendMessageW(item(IDC_STATUS), SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
        return text;
    }
    cells row_cells(int row) const {
        return {cell(row, 0), cell(row, 1), cell(row, 2), cell(row, 3)};
    }
    void select(int row) {
        LVITEMW state{};
        state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(item(IDC_MESSAGE_LIST), LVM_SETITEMSTATE, row,
                     reinterpret_cast<LPARAM>(&state));
    }
    std::wstring preview() const {
        int length = GetWindowTextLengthW(item(IDC_PREVIEW));
        std::wstring text(size_t(length) + 1, L'\0');
        GetWindowTextW(item(IDC_PREVIEW), text.data(), length + 1);
        text.resize(size_t(length));
        return text;
    }
    // A click on a column's heading.
    void click_heading(int column) {
        HWND header =
            reinterpret_cast<HWND>(SendMessageW(item(IDC_MESSAGE_LIST), LVM_GETHEADER, 0, 0));
        RECT at;
        SendMessageW(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&at));
        LPARAM point = MAKELPARAM((at.left + at.right) / 2, (at.top + at.bottom) / 2);
        SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, point);
        SendMessageW(header, WM_LBUTTONUP, 0, point);
    }
    bool preview_shows(const std::wstring& part) {
        return wait_until([&] { return preview().find(part) != std::wstring::npos; });
    }
    temp_dir place;
};

// The counts and marks after a scan; Esc with rows asks; a save that cannot make its
// folder leaves the scan's rows as they were, and only a run has a "Stop".
TEST_F(dialog_choice_test, counts_marks_and_rows_that_nothing_but_a_new_run_replaces) {
    std::string store = make_store(place.file("Inbox.dbx"), 23, 6);
    dbx_t* scanned = dbx_open(store.c_str());
    ASSERT_NE(scanned, nullptr);
    int messages = scanned->lists[0].chain_count, fragments = scanned->lists[1].chain_count;
    dbx_close(scanned);

    scan(store);
    ASSERT_EQ(rows(), messages + fragments);
    const std::wstring counts = std::to_wstring(messages) + L" messages, " +
                                std::to_wstring(fragments) + L" deleted fragments";
    EXPECT_EQ(status(0), counts);
    EXPECT_EQ(status(1), L"0 selected");
    std::vector<cells> listed;
    for (int row = 0; row < rows(); ++row) {
        listed.push_back(row_cells(row));
        EXPECT_EQ(cell(row, 4), row < messages ? L"" : fragment_mark) << row;
    }
    EXPECT_FALSE(enabled(1004)) << "no run, nothing to stop";
    EXPECT_EQ(progress(), 0);
    GUITHREADINFO keyboard{};
    keyboard.cbSize = sizeof(keyboard);
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &keyboard);
    EXPECT_EQ(keyboard.hwndFocus, item(IDC_MESSAGE_LIST)) << "the keyboard is in the list";
    SetWindowPos(window, nullptr, 0, 0, 10, 10, SWP_NOZORDER | SWP_NOMOVE);  // the smallest
    RECT list;
    GetClientRect(item(IDC_MESSAGE_LIST), &list);
    int widths = 0;
    for (int column = 0; column < 5; ++column)
        widths += int(SendMessageW(item(IDC_MESSAGE_LIST), LVM_GETCOLUMNWIDTH, column, 0));
    EXPECT_LE(widths, list.right) << "every column shows whole, the Date too";
    command(ID_EDIT_SELECT_ALL);
    EXPECT_EQ(status(1), std::to_wstring(rows()) + L" selected");

    answer_box(IDNO);
    PostMessageW(item(IDC_MESSAGE_LIST), WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(wait_until([this] { return !boxes().empty(); }));
    EXPECT_EQ(boxes()[0].text, L"Do you want to Exit ?       ");
    EXPECT_FALSE(dialog_ended);

    // A file stands where the output folder would be made.
    temp_dir out;
    std::ofstream(out.path() / "Inbox") << "in the way";
    click(1005);
    choose_folder(out.path().wstring());
    click(1003);
    ASSERT_TRUE(wait_for_run_end());
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(boxes()[1].text, L"Saving failed: nothing was saved.");
    ASSERT_EQ(rows(), int(listed.size()));
    for (int row = 0; row < rows(); ++row) EXPECT_EQ(row_cells(row), listed[size_t(row)]) << row;
    EXPECT_EQ(status(0), counts);
    EXPECT_NE(status(2).find(L"Nothing was saved"), std::wstring::npos) << utf8(status(2));
    EXPECT_FALSE(enabled(1004));
    EXPECT_FALSE(IsWindowVisible(item(IDC_OPEN_FOLDER)));
}

// "Save" after a scan saves what the scan found, without scanning the store again: every
// file of a save of the whole store, and the list stays sorted and chosen as it was.
TEST_F(dialog_choice_test, save_of_every_message_takes_the_scan_and_keeps_the_list) {
    std::string store = make_store(place.file("Inbox.dbx"), 9, 3, 43);
    temp_dir whole;
    save_mode = 1;
    recover_store((whole.path().string() + "\\Inbox.dbx").c_str(), store.c_str());
    save_mode = 0;
    scan(store);
    click_heading(0);
    select(2);
    select(5);
    std::vector<cells> shown;
    for (int row = 0; row < rows(); ++row) shown.push_back(row_cells(row));

    temp_dir out;
    click(IDC_SAVE_EML);
    choose_folder(out.path().wstring());
    click(IDC_SAVE);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(boxes().back().text, L"Saving completed successfully         ");
    EXPECT_EQ(files_under(out.path().string()), files_under(whole.path().string()));
    EXPECT_EQ(scans_given, (std::vector<bool>{false, true}));
    ASSERT_EQ(rows(), int(shown.size()));
    for (int row = 0; row < rows(); ++row) EXPECT_EQ(row_cells(row), shown[size_t(row)]) << row;
    EXPECT_EQ(status(1), L"2 selected");
}

// Three rows chosen in a sorted list, a fragment among them: their files, and no other,
// with the very names, bytes and times a save of the whole store gives them.
TEST_F(dialog_choice_test, save_selected_writes_exactly_the_chosen_rows_files) {
    std::string store = make_store(place.file("Inbox.dbx"), 15, 5, 41);
    temp_dir whole;
    std::map<cells, std::string> file_of;  // a row's cells -> its file in the whole save
    {
        recording_view reference;
        scoped_main_dialog use(&reference);
        std::vector<std::string> files;
        chain_observer = [&files](const chain_record& record) { files.push_back(record.file); };
        save_mode = 1;
        recover_store((whole.path().string() + "\\Inbox.dbx").c_str(), store.c_str());
        chain_observer = nullptr;
        save_mode = 0;
        ASSERT_EQ(files.size(), reference.rows.size());
        for (size_t r = 0; r < files.size(); ++r) {
            cells row;
            for (int c = 0; c < 4; ++c)
                row[size_t(c)] = std::wstring(reference.rows[r].cells[size_t(c)].begin(),
                                              reference.rows[r].cells[size_t(c)].end());
            auto name = std::filesystem::relative(std::filesystem::u8path(files[r]), whole.path())
                            .u8string();
            std::string relative(name.begin(), name.end());  // as files_under gives it
            if (!file_of.emplace(row, relative).second) file_of[row].clear();  // not unique
        }
    }
    scan(store);
    click_heading(1);  // sorted by subject: the rows no longer stand in the engine's order

    std::vector<int> chosen;
    for (int row = 0; row < rows() && chosen.size() < 2; ++row) {
        if (cell(row, 4).empty() && !file_of[row_cells(row)].empty() && row % 3 == 1)
            chosen.push_back(row);
    }
    for (int row = rows() - 1; row >= 0; --row) {
        if (cell(row, 4) == fragment_mark && !file_of[row_cells(row)].empty()) {
            chosen.push_back(row);
            break;
        }
    }
    ASSERT_EQ(chosen.size(), 3u);
    EXPECT_FALSE(menu_enabled(ID_LIST_SAVE_EML)) << "nothing chosen yet";
    std::vector<std::string> expected;
    for (int row : chosen) {
        select(row);
        expected.push_back(file_of[row_cells(row)]);
    }
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(status(1), L"3 selected");

    EXPECT_TRUE(menu_enabled(ID_LIST_SAVE_EML));

    temp_dir out;
    choose_folder(out.path().wstring());
    int listed = rows();
    std::atomic<bool> usable_while_saving{true};
    answer_box([&] {  // the closing box comes while the run still goes
        usable_while_saving = menu_enabled(ID_LIST_SAVE_EML) || menu_enabled(ID_LIST_SAVE_PST);
        return IDOK;
    });
    command(ID_LIST_SAVE_EML);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_FALSE(usable_while_saving);
    EXPECT_TRUE(menu_enabled(ID_LIST_SAVE_EML)) << "the rows are still chosen";
    EXPECT_EQ(files_under(out.path().string()), expected);
    for (const std::string& file : expected) {
        auto saved = out.path() / std::filesystem::u8path(file);
        auto original = whole.path() / std::filesystem::u8path(file);
        EXPECT_EQ(read_file(saved), read_file(original)) << file;
        EXPECT_EQ(std::filesystem::last_write_time(saved),
                  std::filesystem::last_write_time(original))
            << file;
    }
    ASSERT_FALSE(boxes().empty());
    EXPECT_EQ(boxes().back().text, L"Saving completed successfully         ");
    EXPECT_EQ(rows(), listed) << "the list stays as it was";
    EXPECT_EQ(status(2), L"Saved into " + out.path().wstring() + L"\\Inbox");
    ASSERT_TRUE(IsWindowVisible(item(IDC_OPEN_FOLDER)));
    EXPECT_FALSE(IsWindowVisible(item(IDC_SHOW_ERRORS)));
    click(IDC_OPEN_FOLDER);
    {
        std::lock_guard<std::mutex> hold(lock);
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened[0], L"open " + out.path().wstring() + L"\\Inbox 1");
    }

    // The same rows into a Personal Folders file: it holds those messages and no others.
    std::filesystem::path pst = out.path() / "Chosen.pst";
    pick_files(pst.wstring());
    command(ID_LIST_SAVE_PST);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(status(2), L"Saved into " + pst.wstring());
    pst_check_result checked = check_pst_file(utf8(pst.wstring()), true);
    EXPECT_EQ(checked.problems, std::vector<std::string>{});
    int messages = 0;
    for (const auto& [id, node] : checked.nodes) messages += (id & 0x1F) == 0x04;
    EXPECT_EQ(messages, 3);
    EXPECT_EQ(rows(), listed);
}

// The preview of a message with a plain body and an attachment, and of a fragment; Enter
// with no program registered for messages offers the system's "Open with".
TEST_F(dialog_choice_test, the_preview_reads_the_chosen_message) {
    const std::string message =
        "From: =?UTF-8?Q?Jos=C3=A9_Mar=C3=ADa?= <jose@example.com>\r\n"
        "To: Ada <ada@example.com>\r\n"
        "Cc: bob@example.com\r\n"
        "Subject: =?ISO-8859-1?Q?Quartalsbericht_f=FCr_Mai?=\r\n"
        "Date: Tue, 16 Nov 1999 09:48:41 +0000\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"cut\"\r\n"
        "\r\n"
        "--cut\r\n"
        "Content-Type: text/plain; charset=utf-8\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n"
        "\r\n"
        "Dear Ada,\r\n"
        "the figures are attached. Caf=C3=A9 at four?\r\n"
        "--cut\r\n"
        "Content-Type: text/csv; name=\"figures.csv\"\r\n"
        "Content-Disposition: attachment; filename=\"figures.csv\"\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "\r\n" +
        dbxgen::base64("month,total\r\nMay,1234\r\n") +
        "\r\n"
        "--cut--\r\n";
    std::string fragment(600, 'x');
    fragment.replace(100, 20, "the words that stayed");
    std::string store = store_of(place.file("Kept.dbx"), {message}, fragment);
    MoveWindow(window, 0, 0, 1500, 700, TRUE);  // wide enough for the pane beside the list
    scan(store);
    ASSERT_EQ(rows(), 2);
    ASSERT_TRUE(IsWindowVisible(item(IDC_PREVIEW)));

    select(0);
    ASSERT_TRUE(preview_shows(L"(23 bytes)")) << utf8(preview());
    std::wstring shown = preview();
    for (const wchar_t* part :
         {L"From:\tJos\u00e9 Mar\u00eda <jose@example.com>\r\n", L"To:\tAda <ada@example.com>\r\n",
          L"Cc:\tbob@example.com\r\n", L"Subject:\tQuartalsbericht f\u00fcr Mai\r\n",
          L"Attachments:\tfigures.csv (23 bytes)\r\n",
          L"Dear Ada,\r\nthe figures are attached. Caf\u00e9 at four?"}) {
        EXPECT_NE(shown.find(part), std::wstring::npos) << utf8(part) << " in\n" << utf8(shown);
    }
    EXPECT_NE(shown.find(L"1999"), std::wstring::npos) << "the date, in the user's form";

    LVITEMW clear{};
    clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(item(IDC_MESSAGE_LIST), LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&clear));
    select(1);
    ASSERT_TRUE(preview_shows(L"the words that stayed")) << utf8(preview());
    EXPECT_EQ(preview().rfind(L"Deleted fragment", 0), 0u) << utf8(preview());

    open_document_answer = false;
    answer_box(IDYES);
    PostMessageW(item(IDC_MESSAGE_LIST), WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(wait_until([this] {
        std::lock_guard<std::mutex> hold(lock);
        return opened.size() == 2;
    }));
    std::lock_guard<std::mutex> hold(lock);
    EXPECT_EQ(opened[1], L"open with " + opened[0].substr(5, opened[0].size() - 7));
    EXPECT_EQ(progress(), 0) << "opening a message leaves the bar empty";
}

// The chosen rows and the focus follow their messages through sorts, so the preview, Copy
// and Save selected take the messages highlighted.
TEST_F(dialog_choice_test, the_choice_follows_its_messages_through_sorts) {
    auto message = [](const std::string& subject) {
        return "From: ann@example.com\r\nTo: bo@example.com\r\nSubject: " + subject +
               "\r\nDate: Tue, 16 Nov 1999 09:48:41 +0000\r\n\r\nAbout " + subject + ".\r\n";
    };
    std::string store =
        store_of(place.file("Fruit.dbx"),
                 {message("Cherry"), message("apple"), message("Banana"), message("date")},
                 std::string(600, 'x'));
    MoveWindow(window, 0, 0, 1500, 700, TRUE);  // wide enough for the pane beside the list
    scan(store);
    ASSERT_EQ(rows(), 5);
    select(1);  // apple
    select(0);  // Cherry, focused
    ASSERT_TRUE(preview_shows(L"Subject:\tCherry")) << utf8(preview());
    HWND list = item(IDC_MESSAGE_LIST);
    auto chosen = [list] {
        std::vector<int> positions;
        for (int at = -1; (at = int(SendMessageW(list, LVM_GETNEXTITEM, at, LVNI_SELECTED))) >= 0;)
            positions.push_back(at);
        return positions;
    };
    auto focused = [list] {
        return int(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
    };
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    auto sort_by_subject = [header] {
        RECT at;
        SendMessageW(header, HDM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&at));
        LPARAM point = MAKELPARAM((at.left + at.right) / 2, (at.top + at.bottom) / 2);
        SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, point);
        SendMessageW(header, WM_LBUTTONUP, 0, point);
    };
    const std::wstring date = L"Tue, 16 Nov 1999 09:48:41 +0000";
    struct order {
        std::vector<int> chosen;
        int focused;
        std::wstring copied;
    };
    const order after[] = {
        // "", apple, Banana, Cherry, date
        {{1, 3},
         3,
         L"From\tE-mail Subject\tTo\tDate\r\nann@example.com\tapple\tbo@example.com\t" + date +
             L"\r\nann@example.com\tCherry\tbo@example.com\t" + date + L"\r\n"},
        // date, Cherry, Banana, apple, ""
        {{1, 3},
         1,
         L"From\tE-mail Subject\tTo\tDate\r\nann@example.com\tCherry\tbo@example.com\t" + date +
             L"\r\nann@example.com\tapple\tbo@example.com\t" + date + L"\r\n"},
    };
    for (const order& expected : after) {
        sort_by_subject();
        EXPECT_EQ(chosen(), expected.chosen);
        EXPECT_EQ(focused(), expected.focused);
        EXPECT_EQ(cell(focused(), 1), L"Cherry");
        EXPECT_EQ(status(1), L"2 selected");
        EXPECT_TRUE(preview_shows(L"Subject:\tCherry")) << utf8(preview());
        command(ID_LIST_OPEN);  // the message the preview shows
        {
            std::lock_guard<std::mutex> hold(lock);
            ASSERT_FALSE(opened.empty());
            EXPECT_NE(opened.back().find(L"Cherry"), std::wstring::npos) << utf8(opened.back());
        }
        command(ID_LIST_COPY);
        ASSERT_TRUE(OpenClipboard(nullptr));
        HANDLE text = GetClipboardData(CF_UNICODETEXT);
        std::wstring copied = text ? static_cast<const wchar_t*>(GlobalLock(text)) : L"";
        if (text) GlobalUnlock(text);
        CloseClipboard();
        EXPECT_EQ(copied, expected.copied);
    }
    command(ID_EDIT_SELECT_ALL);
    sort_by_subject();
    EXPECT_EQ(chosen(), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(cell(focused(), 1), L"Cherry");
}

// Counts show their digits grouped as the user's locale groups them (here English, United
// States).
TEST(dialog_text, counts_are_grouped_as_the_locale_groups_them) {
    EXPECT_EQ(grouped(0), L"0");
    EXPECT_EQ(grouped(999), L"999");
    EXPECT_EQ(grouped(100000), L"100,000");
    EXPECT_EQ(grouped(-1234567), L"-1,234,567");
    EXPECT_EQ(counted(1, L"message", L"messages"), L"1 message");
}
