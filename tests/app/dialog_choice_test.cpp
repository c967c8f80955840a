// Reading, choosing and keeping mail in the dialog: the status bar's counts and the
// fragment marks, Esc and a failed save that keep the rows, Save selected writing exactly
// the chosen messages' files, and the preview of a MIME message and of a fragment.
// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
// clang-format on

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/message_preview.h"
#include "app/resource.h"
#include "app/wide_text.h"
#include "dialog_driver.h"
#include "engine/engine.h"
#include "pst_check.h"
#include "support/files.h"
#include "support/recording_view.h"
#include "support/temp_dir.h"
#include "tools/dbxgen/dbxgen.h"
#include "tools/dbxgen/indexed.h"

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
    std::wstring text_of(int id) const {
        int length = GetWindowTextLengthW(item(id));
        std::wstring text(size_t(length) + 1, L'\0');
        GetWindowTextW(item(id), text.data(), length + 1);
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
    // The pane's header lines above its body.
    std::wstring preview() const {
        return text_of(IDC_PREVIEW_HEADER) + L"\r\n" + text_of(IDC_PREVIEW);
    }
    std::vector<std::wstring> attachments() const {
        std::vector<std::wstring> rows;
        int count = int(SendMessageW(item(IDC_ATTACHMENTS), LB_GETCOUNT, 0, 0));
        for (int row = 0; row < count; ++row) {
            wchar_t text[256] = {};
            SendMessageW(item(IDC_ATTACHMENTS), LB_GETTEXT, row, reinterpret_cast<LPARAM>(text));
            rows.push_back(text);
        }
        return rows;
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
    ASSERT_TRUE(wait_until([this] { return !attachments().empty(); }));
    EXPECT_EQ(attachments(), std::vector<std::wstring>{L"figures.csv (23 bytes)"});
    std::wstring shown = preview();
    for (const wchar_t* part :
         {L"From:\tJos\u00e9 Mar\u00eda <jose@example.com>\r\n", L"To:\tAda <ada@example.com>\r\n",
          L"Cc:\tbob@example.com\r\n", L"Subject:\tQuartalsbericht f\u00fcr Mai\r\n",
          L"Attachments:\r\n", L"Dear Ada,\r\nthe figures are attached. Caf\u00e9 at four?"}) {
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

// An HTML-only message: its text as a reader sees it, the header lines above the body; an
// attachment opens from a temporary file of its own (a program only when the user says
// so) and saves where the user picks, never over the store.
TEST_F(dialog_choice_test, the_preview_reads_html_and_opens_and_saves_attachments) {
    const std::string message =
        "From: ann@example.com\r\nTo: bo@example.com\r\nSubject: Menu\r\n"
        "Date: Tue, 16 Nov 1999 09:48:41 +0000\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"cut\"\r\n\r\n"
        "--cut\r\nContent-Type: text/html; charset=us-ascii\r\n\r\n"
        "<html><body><p>Caf&eacute; at <a href=\"http://example.com/menu\">the menu</a>&nbsp;"
        "&ndash; four?</p><table><tr><td>Tea</td><td>3</td></tr><tr><td>Cake</td><td>5</td>"
        "</tr></table></body></html>\r\n"
        "--cut\r\nContent-Type: text/plain; name=\"notes.txt\"\r\n"
        "Content-Disposition: attachment; filename=\"con.txt\"\r\n\r\nhello there\r\n"
        "--cut\r\nContent-Type: application/octet-stream; name=\"setup.exe\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" +
        dbxgen::base64("MZ") + "\r\n--cut--\r\n";
    std::string store = store_of(place.file("Menu.dbx"), {message}, std::string(600, 'x'));
    MoveWindow(window, 0, 0, 1500, 700, TRUE);  // wide enough for the pane beside the list
    scan(store);
    select(0);
    ASSERT_TRUE(wait_until([this] { return attachments().size() == 2; }));
    EXPECT_EQ(attachments(),
              (std::vector<std::wstring>{L"_con.txt (11 bytes)", L"setup.exe (2 bytes)"}));
    EXPECT_EQ(text_of(IDC_PREVIEW),
              L"Caf\u00e9 at the menu <http://example.com/menu>\u00a0\u2013 "
              L"four?\r\n\r\nTea\t3\r\nCake\t5");
    std::wstring header = text_of(IDC_PREVIEW_HEADER);
    EXPECT_EQ(header.substr(0, 22), L"From:\tann@example.com\r");
    EXPECT_EQ(header.substr(header.size() - 27), L"Subject:\tMenu\r\nAttachments:");
    auto rect_of = [this](int id) {
        RECT at{};
        GetWindowRect(item(id), &at);
        return at;
    };
    RECT top = rect_of(IDC_PREVIEW_HEADER), middle = rect_of(IDC_ATTACHMENTS),
         body = rect_of(IDC_PREVIEW);
    EXPECT_LE(top.bottom, middle.top);
    EXPECT_LE(middle.bottom, body.top);
    EXPECT_EQ(top.left, body.left);

    HWND list = item(IDC_ATTACHMENTS);
    auto double_click = [&](int row) {
        SendMessageW(list, LB_SETCURSEL, row, 0);
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_ATTACHMENTS, LBN_DBLCLK),
                     reinterpret_cast<LPARAM>(list));
    };
    double_click(0);
    std::wstring opened_file;
    {
        std::lock_guard<std::mutex> hold(lock);
        ASSERT_EQ(opened.size(), 1u);
        opened_file = opened[0].substr(5, opened[0].size() - 7);
    }
    EXPECT_EQ(opened_file.substr(opened_file.size() - 13), L"\\0-0\\_con.txt");
    EXPECT_EQ(read_file(utf8(opened_file)), "hello there");
    EXPECT_TRUE(GetFileAttributesW(opened_file.c_str()) & FILE_ATTRIBUTE_READONLY);

    // Enter on the attachment opens it too (the same file), and starts no run.
    size_t runs = engine_calls().size();
    SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
    PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(wait_until([this] {
        std::lock_guard<std::mutex> hold(lock);
        return opened.size() == 2;
    }));
    EXPECT_EQ(opened[1], opened[0]);
    EXPECT_EQ(engine_calls().size(), runs);

    answer_box(IDNO);
    double_click(1);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text,
              L"setup.exe is a program or script: opening it runs it on this "
              L"computer. Open it only if you trust the message it came "
              L"with.\n\nOpen it?");
    EXPECT_EQ(opened.size(), 2u) << "not opened";

    SendMessageW(list, LB_SETCURSEL, 0, 0);
    std::string saved = place.file("kept.txt");
    pick_files(wide(saved));
    command(ID_ATTACHMENT_SAVE);
    EXPECT_EQ(read_file(saved), "hello there");
    {
        std::lock_guard<std::mutex> hold(lock);
        ASSERT_EQ(file_dialog_calls.size(), 2u);  // the store's, then the attachment's
        EXPECT_EQ(file_dialog_calls[1].title, L"Save attachment");
        EXPECT_TRUE(file_dialog_calls[1].flags & OFN_OVERWRITEPROMPT);
        EXPECT_FALSE(file_dialog_calls[1].open_mode);
    }

    std::string before = read_file(store);
    pick_files(wide(store));
    command(ID_ATTACHMENT_SAVE);
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(boxes()[1].text, L"The attachment could not be saved as " + wide(store) + L".");
    EXPECT_EQ(read_file(store), before) << "the store is never replaced";
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

// A store with an index, in a folder tree: its unread messages in bold, their flags in the
// mark column, and the preview names the folder and when the message arrived.
TEST_F(dialog_choice_test, an_indexed_store_shows_its_unread_rows_flags_folder_and_arrival) {
    dbxgen::indexed_store_options options;
    options.seed = 7;
    options.messages = 12;
    options.deleted = 1;
    options.folder_name = "Receipts";
    std::vector<dbxgen::indexed_message> index;
    ASSERT_TRUE(dbxgen::indexed_store(options, &index).write_file(place.file("Receipts.dbx")));
    ASSERT_TRUE(dbxgen::folders_file({{0, 0xffffffffu, "Outlook Express", "", 0, 3},
                                      {1, 0, "Local Folders", "", 0, 3},
                                      {2, 1, "Archive", "", 0, 3},
                                      {3, 2, "Invoices", "Receipts.dbx", 0, 3}})
                    .write_file(place.file("Folders.dbx")));
    MoveWindow(window, 0, 0, 1500, 700, TRUE);
    scan(place.file("Receipts.dbx"));
    ASSERT_EQ(rows(), 13);
    // The messages lie in the file in the index's order; the rows come in the file's order.
    int unread = 0, flagged = 0;
    HWND list = item(IDC_MESSAGE_LIST);
    HDC paint = GetDC(list);
    for (int row = 0; row < 12; ++row) {
        const dbxgen::indexed_message& kept = index[size_t(row)];
        std::wstring marks;
        if (kept.flags & 0x80000) marks += L"\u2190";
        if (kept.flags & 0x100000) marks += L"\u2192";
        if (kept.flags & 0x20) marks += L"!";
        EXPECT_EQ(cell(row, 4), marks) << row;
        NMLVCUSTOMDRAW draw{};
        draw.nmcd.hdr = {list, UINT_PTR(IDC_MESSAGE_LIST), UINT(NM_CUSTOMDRAW)};
        draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
        draw.nmcd.dwItemSpec = DWORD_PTR(row);
        draw.nmcd.hdc = paint;
        LRESULT drawn =
            SendMessageW(window, WM_NOTIFY, IDC_MESSAGE_LIST, reinterpret_cast<LPARAM>(&draw));
        bool bold = drawn == CDRF_NEWFONT;
        EXPECT_EQ(bold, !(kept.flags & 0x80)) << row;
        unread += bold;
        flagged += !marks.empty();
    }
    ReleaseDC(list, paint);
    EXPECT_GT(unread, 0);
    EXPECT_GT(flagged, 0);
    EXPECT_EQ(cell(12, 4), L"\u2020");  // the deleted fragment keeps its mark
    select(0);
    ASSERT_TRUE(preview_shows(L"Folder:\tArchive/Invoices\r\n")) << utf8(preview());
    EXPECT_NE(
        preview().find(L"Received:\t" +
                       local_date_text((int64_t(index[0].received / 10000000) - 11644473600))),
        std::wstring::npos)
        << utf8(preview());
}
