// Runs started from the dialog: scans and saves of generated stores with the real engine,
// pausing, resuming and abandoning them, refused starts, and what the worker hands the
// engine.
// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <atomic>
#include <cstdio>
#include <filesystem>

#include "app/morvale_dlg.h"
#include "app/worker.h"
#include "dialog_driver.h"
#include "dispatch/dispatch.h"
#include "engine/engine.h"
#include "platform/fs.h"
#include "support/fault_source.h"
#include "support/files.h"
#include "support/recording_view.h"
#include "support/temp_dir.h"
#include "tools/dbxgen/dbxgen.h"
#include "tools/dbxgen/indexed.h"

namespace {

// The list and boxes the engine gives when it runs alone, to hold the dialog's against.
recording_view reference_run(const char* target, const std::string& store) {
    recording_view view;
    scoped_main_dialog use(&view);
    recover_store(target, store.c_str());
    return view;
}

// Stands between the engine and the dialog, and posts a click on "Stop" when the engine
// inserts the given row; the run then waits at its next checkpoint until the Stop asks for
// the pause, so it is paused in its middle however fast it runs.
class stop_at_row_view : public main_view {
  public:
    stop_at_row_view(main_view* dialog, HWND window, int row)
        : dialog_(dialog), window_(window), row_(row) {}
    int item_count() override { return dialog_->item_count(); }
    void insert_item(int index) override {
        if (index == row_) {
            PostMessageW(window_, WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED), 0);
            hold_run_until_stop_asked();
        }
        dialog_->insert_item(index);
    }
    void set_item_text(int item, int subitem, const std::u16string& text) override {
        dialog_->set_item_text(item, subitem, text);
    }
    void set_progress(int position) override { dialog_->set_progress(position); }
    int message_box(const std::string& text, const std::string& title, unsigned flags) override {
        return dialog_->message_box(text, title, flags);
    }
    bool checkpoint() override { return dialog_->checkpoint(); }

  private:
    main_view* dialog_;
    HWND window_;
    int row_;
};

}  // namespace

class dialog_run_test : public dialog_test {
  protected:
    // The next run goes through a stop_at_row_view; the dialog is the engine's view
    // again when the engine returns.
    void press_stop_at_row(int row) {
        use_engine([this, row](const char* target, const char* store) {
            main_view* dialog = main_dialog;
            stop_at_row_view between(dialog, window, row);
            main_dialog = &between;
            int result = recover_store(target, store);
            main_dialog = dialog;
            return result;
        });
    }
    void expect_rows_as(const recording_view& reference, int first_row = 0) {
        ASSERT_GE(rows(), first_row + static_cast<int>(reference.rows.size()));
        for (size_t r = 0; r < reference.rows.size(); ++r) {
            for (int c = 0; c < 4; ++c) {
                const std::u16string& expected = reference.rows[r].cells[c];
                EXPECT_EQ(cell(first_row + static_cast<int>(r), c),
                          std::wstring(expected.begin(), expected.end()))
                    << "row " << r << " column " << c;
            }
            LVITEMW image{};
            image.mask = LVIF_IMAGE;
            image.iItem = first_row + static_cast<int>(r);
            SendMessageW(item(1002), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&image));
            EXPECT_EQ(image.iImage, 1);
        }
    }
    void pick_and_scan(const std::string& store) {
        pick_store(store);
        click(1001);
        click(IDOK);
    }
    // A save run of the store into `folder` from the Save button in `mode`.
    void save_into(const std::string& store, const std::wstring& folder, int radio) {
        pick_and_scan(store);
        ASSERT_TRUE(wait_for_run_end());
        click(radio);
        choose_folder(folder);
        click(1003);
    }
    temp_dir place;
};

TEST_F(dialog_run_test, scan_lists_every_message_and_fragment) {
    std::string store = make_store(place.file("Inbox.dbx"), 14, 4);
    recording_view reference = reference_run(nullptr, store);
    ASSERT_EQ(reference.rows.size(), 18u);

    pick_and_scan(store);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(rows(), 18);
    expect_rows_as(reference);
    ASSERT_FALSE(reference.progress.empty());
    EXPECT_EQ(progress(), reference.progress.back());
    EXPECT_TRUE(boxes().empty()) << "a list-only run shows no box";
    ASSERT_EQ(engine_calls().size(), 1u);
    EXPECT_EQ(engine_calls()[0].first, "<null>");
    EXPECT_EQ(engine_calls()[0].second, store);
    EXPECT_TRUE(save_folder.empty()) << "a list-only run leaves the folder alone";
}

TEST_F(dialog_run_test, bytes_that_cannot_be_read_are_listed_in_one_box_at_the_end) {
    std::string store = make_store(place.file("Inbox.dbx"), 40, 4);
    // Two bad stretches, as on a failing disk: every read that touches one fails.
    read_faults faults{bad_ranges({{4096, 4608}, {16384, 17408}}), nullptr};
    platform::source_opener faulty = opener_with_faults(faults);
    use_engine([&faulty](const char* target, const char* store) {
        return recover_store(target, store, nullptr, &faulty);
    });
    pick_and_scan(store);
    ASSERT_TRUE(wait_for_run_end());
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].flags, unsigned(MB_SYSTEMMODAL | MB_ICONWARNING));
    EXPECT_NE(utf8(boxes()[0].text).find("\ncannot read bytes 4096 to 4607: "), std::string::npos);
    EXPECT_NE(utf8(boxes()[0].text).find("\ncannot read bytes 16384 to 17407: "),
              std::string::npos);
}

TEST_F(dialog_run_test, save_run_writes_the_files_and_a_second_save_goes_to_the_same_place) {
    std::string store = make_store(place.file("Inbox.dbx"), 9, 3);
    temp_dir expected_place;
    std::string expected_target = utf8(expected_place.path().wstring()) + "\\Inbox.dbx";
    save_mode = 1;
    recording_view reference = reference_run(expected_target.c_str(), store);
    save_mode = 0;
    std::vector<std::string> expected_files = files_under(utf8(expected_place.path().wstring()));
    ASSERT_EQ(expected_files.size(), 12u);

    temp_dir out;
    save_into(store, out.path().wstring(), 1005);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(files_under(utf8(out.path().wstring())), expected_files);
    EXPECT_EQ(rows(), 12) << "the save run's rows replace the scan's";
    expect_rows_as(reference);
    ASSERT_EQ(boxes().size(), reference.boxes.size());
    for (size_t i = 0; i < boxes().size(); ++i) {
        EXPECT_EQ(utf8(boxes()[i].text), reference.boxes[i].text);
        EXPECT_EQ(boxes()[i].flags, reference.boxes[i].flags);
        EXPECT_TRUE(boxes()[i].owned_by_dialog);
    }
    std::string target = utf8(out.path().wstring() + L"\\Inbox.dbx");
    EXPECT_EQ(engine_calls().back().first, target);
    EXPECT_EQ(save_folder, out.path().wstring()) << "the folder global is not extended";

    choose_folder(out.path().wstring());  // a second save, here with the same folder
    std::filesystem::remove_all(out.path() / "Inbox");
    click(1003);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(engine_calls().back().first, target);
    EXPECT_EQ(files_under(utf8(out.path().wstring())), expected_files);
}

// "Save as PST" asks for the file with the system's save dialog and writes one Personal
// Folders file of the store, under its own name only once it is whole.
TEST_F(dialog_run_test, save_as_pst_writes_one_file_named_in_the_save_dialog) {
    std::string store = make_store(place.file("Inbox.dbx"), 9, 3);
    temp_dir out;
    std::filesystem::path pst = out.path() / "Mail.pst";
    pick_and_scan(store);
    ASSERT_TRUE(wait_for_run_end());
    click(1017);
    EXPECT_EQ(save_mode.load(), 3);
    pick_files(pst.wstring());
    std::atomic<bool> named_at_box{false}, save_usable_at_box{true};
    answer_box([&] {
        named_at_box = std::filesystem::exists(pst);
        save_usable_at_box = enabled(1003);
        return IDOK;
    });
    click(1003);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_TRUE(named_at_box) << "the closing box comes once the file has its name";
    EXPECT_FALSE(save_usable_at_box) << "no Save while a save goes";
    EXPECT_TRUE(enabled(1003));
    EXPECT_FALSE(file_dialog_calls.back().open_mode);
    EXPECT_EQ(files_under(utf8(out.path().wstring())), std::vector<std::string>{"Mail.pst"});
    std::string head(4, '\0');
    FILE* file = _wfopen(pst.c_str(), L"rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::fread(head.data(), 1, 4, file), 4u);
    std::fclose(file);
    EXPECT_EQ(head, "!BDN");
    ASSERT_FALSE(boxes().empty());
    EXPECT_EQ(utf8(boxes().back().text), "Saving completed successfully         ");
    EXPECT_EQ(engine_calls().size(), 1u) << "the scan's run only: the PST run has its own entry";

    // The store itself is never replaced, even when the user agreed to it.
    std::string store_bytes = read_file(std::filesystem::u8path(store));
    pick_files(wide(store));
    click(1003);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(utf8(boxes().back().text), "Saving failed: the file could not be written.");
    EXPECT_EQ(read_file(std::filesystem::u8path(store)), store_bytes);
}

TEST_F(dialog_run_test, paths_beyond_latin1_reach_the_engine_whole) {
    temp_dir folder_place;
    std::filesystem::path odd_folder = folder_place.path() / std::filesystem::u8path("Почта €");
    std::filesystem::create_directories(odd_folder);
    std::string store = make_store(place.file("Входящие.dbx"), 3, 1);
    pick_and_scan(store);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(rows(), 4);
    click(1006);
    choose_folder(odd_folder.wstring());
    use_engine([](const char*, const char*) { return 0; });
    click(1003);
    ASSERT_TRUE(wait_for_run_end());
    ASSERT_EQ(engine_calls().size(), 2u);
    EXPECT_EQ(engine_calls()[0].second, store);
    EXPECT_EQ(engine_calls()[1].first, utf8(odd_folder.wstring()) + "\\Входящие.dbx");
}

TEST_F(dialog_run_test, drive_root_gets_one_separator_added) {
    use_engine([](const char*, const char*) { return 0; });
    pick_store("C:\\mail\\Inbox.dbx");
    click(1001);
    click(IDOK);
    ASSERT_TRUE(wait_for_run_end());
    click(1005);
    choose_folder(L"C:\\");
    click(1003);
    ASSERT_TRUE(wait_for_run_end());
    ASSERT_EQ(engine_calls().size(), 2u);
    EXPECT_EQ(engine_calls()[1].first, "C:\\\\Inbox.dbx");
    EXPECT_EQ(save_folder, L"C:\\");
}

// A store that its folder's Folders.dbx names is saved where the command line saves it: in
// the folders of the tree, under its display name (Receipts.dbx is Archive / Invoices).
TEST_F(dialog_run_test, a_store_its_folder_tree_names_is_saved_in_its_folders) {
    std::filesystem::path identity = place.path() / "id";
    std::filesystem::create_directory(identity);
    FILE* report = std::tmpfile();
    ASSERT_TRUE(dbxgen::write_identity(utf8(identity.wstring()), report));
    std::fclose(report);
    use_engine([](const char*, const char*) { return 0; });
    pick_and_scan(utf8((identity / "Receipts.dbx").wstring()));
    ASSERT_TRUE(wait_for_run_end());
    temp_dir out;
    click(1005);
    choose_folder(out.path().wstring());
    click(1003);
    ASSERT_TRUE(wait_for_run_end());
    ASSERT_EQ(engine_calls().size(), 2u);
    EXPECT_EQ(engine_calls()[1].first, utf8(out.path().wstring()) + "\\Archive\\Invoices.dbx");
    EXPECT_TRUE(std::filesystem::is_directory(out.path() / "Archive"));
    EXPECT_EQ(save_folder, out.path().wstring()) << "the folder global is not extended";
}

TEST_F(dialog_run_test, stop_then_no_finishes_as_if_never_paused) {
    std::string store = make_store(place.file("Inbox.dbx"), 12, 3);
    temp_dir expected_place;
    save_mode = 1;
    std::string expected_target = utf8(expected_place.path().wstring()) + "\\Inbox.dbx";
    recording_view reference = reference_run(expected_target.c_str(), store);
    save_mode = 0;

    temp_dir out;
    pick_and_scan(store);
    ASSERT_TRUE(wait_for_run_end());
    click(1005);
    std::atomic<size_t> files_at_question{0};
    answer_box([&] {
        files_at_question = files_under(utf8(out.path().wstring())).size();
        return IDNO;
    });
    press_stop_at_row(4);
    choose_folder(out.path().wstring());
    click(1003);
    ASSERT_TRUE(wait_for_run_end());
    ASSERT_GE(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, L"Do you want to stop scan process ?");
    EXPECT_EQ(boxes()[0].title, L"Tavrin Morvale");
    EXPECT_EQ(boxes()[0].flags, 4132u);
    EXPECT_GE(files_at_question, 4u) << "paused in the middle of the run";
    EXPECT_LT(files_at_question, 15u);
    EXPECT_EQ(rows(), 15) << "the scan's rows stay listed";
    expect_rows_as(reference);
    EXPECT_EQ(files_under(utf8(out.path().wstring())),
              files_under(utf8(expected_place.path().wstring())));
    ASSERT_EQ(boxes().size(), 1u + reference.boxes.size()) << "the completion box still comes";
    EXPECT_EQ(worker_thread, nullptr);
}

TEST_F(dialog_run_test, stop_then_yes_abandons_the_run_for_good) {
    std::string store = make_store(place.file("Inbox.dbx"), 12, 3);
    temp_dir out;
    pick_and_scan(store);
    ASSERT_TRUE(wait_for_run_end());
    click(1005);
    std::vector<std::string> files_at_question;
    answer_box([&] {
        files_at_question = files_under(utf8(out.path().wstring()));
        return IDYES;
    });
    press_stop_at_row(5);
    choose_folder(out.path().wstring());
    wchar_t start_folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, start_folder);
    click(1003);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(worker_thread, nullptr);
    ASSERT_EQ(boxes().size(), 1u) << "no completion box after abandoning";
    EXPECT_EQ(rows(), 15) << "a stopped save keeps every row";
    EXPECT_EQ(progress(), 0) << "and is empty after stopping";
    EXPECT_EQ(files_under(utf8(out.path().wstring())), files_at_question);
    EXPECT_FALSE(files_at_question.empty()) << "what was written before stays";
    EXPECT_LT(files_at_question.size(), 15u);
    wchar_t end_folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, end_folder);
    EXPECT_EQ(std::wstring(end_folder), std::wstring(start_folder));

    EXPECT_FALSE(enabled(1004)) << "nothing left to stop";
    command(1004);  // a further Stop does nothing
    EXPECT_EQ(boxes().size(), 1u);
    EXPECT_TRUE(enabled(IDOK)) << "the store may be scanned again";
    EXPECT_TRUE(menu_enabled(32772));
}

TEST_F(dialog_run_test, a_start_while_a_run_goes_is_refused_and_changes_nothing) {
    // An engine that stands at its checkpoint until the Stop below pauses it there.
    std::atomic<bool> tried{false};
    use_engine([&](const char*, const char*) {
        hold_run_until_stop_asked();
        return main_dialog->checkpoint() ? 0 : -1;
    });
    temp_dir out;
    pick_store("C:\\mail\\Inbox.dbx");
    click(1001);
    click(IDOK);
    auto states = [&] {
        std::vector<bool> all;
        for (int id : {IDOK, 1003, 1004, 1005, 1006}) all.push_back(enabled(id));
        for (int id : {1005, 1006}) all.push_back(checked(id));
        for (UINT id : {32772u, 32773u, 32774u}) all.push_back(menu_enabled(id));
        return all;
    };
    answer_box([&] {
        // The run stands paused; pick the store again, which enables Next, then try
        // every way of starting.
        pick_store("C:\\mail\\Inbox.dbx");
        command(1001);
        std::vector<bool> before = states();
        choose_folder(out.path().wstring());
        for (UINT id : {static_cast<UINT>(IDOK), 32772u, 1003u, 32773u, 32774u}) command(id);
        EXPECT_EQ(states(), before);
        EXPECT_EQ(save_mode.load(), 0);
        tried = true;
        return IDNO;
    });
    click(1004);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_TRUE(tried);
    EXPECT_EQ(engine_calls().size(), 1u);
    EXPECT_GE(beeps.load(), 3) << "each refused start beeps";
    std::lock_guard<std::mutex> hold(lock);
    EXPECT_TRUE(folder_calls.empty()) << "a refused Save asks for no folder";
}

TEST_F(dialog_run_test, a_failed_msg_conversion_is_shown) {
    use_engine([](const char*, const char*) -> int {
        throw dispatch::dispatch_error("The message could not be converted");
    });
    temp_dir out;
    pick_store("C:\\mail\\Inbox.dbx");
    click(1001);
    click(IDOK);
    ASSERT_TRUE(wait_for_run_end());
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, L"Saving stopped: The message could not be converted");
    EXPECT_EQ(boxes()[0].title, L"Tavrin Morvale");
    EXPECT_EQ(boxes()[0].flags, 0x1010u);
    EXPECT_TRUE(boxes()[0].owned_by_dialog);
    EXPECT_EQ(worker_thread, nullptr);

    use_engine([](const char*, const char*) -> int { throw std::runtime_error("anything else"); });
    click(1006);
    choose_folder(out.path().wstring());
    click(1003);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(boxes().size(), 1u) << "other failures are not shown";
}

TEST_F(dialog_run_test, ending_the_program_abandons_the_run_at_its_checkpoint) {
    std::atomic<bool> running{false};
    std::atomic<bool> told_to_stop{false};
    // An engine that stands at its checkpoint until the run is abandoned.
    use_engine([&](const char*, const char*) {
        running = true;
        hold_run_until_stop_asked();
        if (main_dialog->checkpoint()) return 0;
        told_to_stop = true;
        return -1;
    });
    pick_store("C:\\mail\\Inbox.dbx");
    click(1001);
    click(IDOK);
    ASSERT_TRUE(wait_until([&] { return running.load(); }));
    answer_box(IDNO);  // Esc during a run asks first
    answer_box(IDYES);
    for (size_t press = 0; press < 2; ++press) {
        PostMessageW(item(1001), WM_KEYDOWN, VK_ESCAPE, 0);
        ASSERT_TRUE(wait_until([&] { return boxes().size() > press; }));
        ASSERT_EQ(boxes().size(), size_t(press) + 1);
        EXPECT_EQ(boxes()[size_t(press)].text, L"Do you want to Exit ?       ");
    }
    ASSERT_TRUE(wait_for_dialog_end());
    EXPECT_TRUE(run_ended_at_exit);
    EXPECT_TRUE(told_to_stop);
    EXPECT_FALSE(run_in_progress());
}
