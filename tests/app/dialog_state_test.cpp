// Which controls and menu items are enabled after each event, the file dialog and the
// Save command's folder checks.
// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>
// clang-format on

#include <atomic>
#include <filesystem>
#include <fstream>

#include "app/morvale_dlg.h"
#include "app/resource.h"
#include "app/shell_seams.h"
#include "dialog_driver.h"
#include "engine/engine.h"
#include "support/temp_dir.h"

namespace {

// Next, Stop, Save, the two radio buttons; then the menu items Scan, Save EML, Save MSG.
struct states {
    bool next, stop, save, eml, msg, scan_item, eml_item, msg_item;
    bool operator==(const states&) const = default;
};

std::ostream& operator<<(std::ostream& out, const states& s) {
    return out << "next " << s.next << " stop " << s.stop << " save " << s.save << " eml " << s.eml
               << " msg " << s.msg << " | Scan " << s.scan_item << " Save EML " << s.eml_item
               << " Save MSG " << s.msg_item;
}

}  // namespace

class dialog_state_test : public dialog_test {
  protected:
    states now() const {
        return {enabled(IDOK), enabled(1004),       enabled(1003),       enabled(1005),
                enabled(1006), menu_enabled(32772), menu_enabled(32773), menu_enabled(32774)};
    }
    void always_enabled() const {
        EXPECT_TRUE(enabled(1001));
        EXPECT_TRUE(enabled(1000));
        EXPECT_TRUE(enabled(1002));
        for (UINT id : {32771u, 32775u, 32776u, 32777u, 32778u})
            EXPECT_TRUE(menu_enabled(id)) << id;
    }
    // A list-only engine that adds nothing, so runs end at once.
    void quiet_engine() {
        use_engine([](const char*, const char*) { return -1; });
    }
};

TEST_F(dialog_state_test, enabled_states_event_by_event) {
    // Runs end once the test lets them, so the states of a run going can be read.
    std::atomic<bool> let_end{false};
    use_engine([&let_end](const char*, const char*) {
        wait_until([&let_end] { return let_end.load(); });
        return -1;
    });
    temp_dir folder;
    EXPECT_EQ(now(), (states{false, false, false, false, false, false, false, false}));
    EXPECT_FALSE(checked(1005));
    EXPECT_FALSE(checked(1006));
    always_enabled();

    pick_store("C:\\mail\\Inbox.dbx");
    click(1001);
    EXPECT_EQ(now(), (states{true, false, false, false, false, true, false, false}));

    click(IDOK);
    EXPECT_EQ(now(), (states{false, true, false, true, true, false, true, true}));
    let_end = true;
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(now(), (states{true, false, false, true, true, true, true, true}))
        << "the end of a run leaves nothing to stop, and the store may be scanned again";

    click(1006);
    EXPECT_TRUE(checked(1006));
    EXPECT_FALSE(checked(1005));
    EXPECT_EQ(save_mode.load(), 2);
    EXPECT_EQ(now(), (states{true, false, true, true, true, true, true, true}));
    click(1005);
    EXPECT_EQ(save_mode.load(), 1);
    EXPECT_TRUE(checked(1005));
    EXPECT_FALSE(checked(1006));

    // The menu's Save MSG sets the checks itself and asks for a folder.
    choose_folder(folder.path().wstring());
    command(32774);
    EXPECT_EQ(save_mode.load(), 2);
    EXPECT_TRUE(checked(1006));
    EXPECT_FALSE(checked(1005));
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(now(), (states{true, false, true, true, true, true, true, true}));

    // Stop with no run going, even when asked for by its id: no question, nothing changes.
    command(1004);
    EXPECT_TRUE(boxes().empty());

    // Picking a store again enables Next and Scan only.
    pick_store("C:\\mail\\Sent Items.dbx");
    command(32771);
    EXPECT_EQ(now(), (states{true, false, true, true, true, true, true, true}));
    always_enabled();
    EXPECT_EQ(dbx_file_name, L"Sent Items.dbx");
}

TEST_F(dialog_state_test, menu_save_item_leaves_the_save_button_disabled) {
    quiet_engine();
    temp_dir folder;
    pick_store("C:\\mail\\Inbox.dbx");
    click(1001);
    command(32772);  // Scan
    ASSERT_TRUE(wait_for_run_end());
    choose_folder(folder.path().wstring());
    command(32773);  // Save EML
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_FALSE(enabled(1003));
    EXPECT_TRUE(checked(1005));
    ASSERT_EQ(engine_calls().size(), 2u);
    EXPECT_EQ(engine_calls()[0].first, "<null>");
    EXPECT_EQ(engine_calls()[1].first, utf8(folder.path().wstring() + L"\\Inbox.dbx"));
}

// "Morvale.exe STORE" scans the store at once; a store that is not there is said beside the
// box, and nothing runs.
TEST_F(dialog_state_test, a_store_named_at_start_is_scanned_at_once) {
    temp_dir folder;
    std::string store = make_store((folder.path() / "Inbox.dbx").string(), 3, 1);
    end_dialog();
    start_store = wide(store);
    start_dialog();
    ASSERT_TRUE(wait_until([this] { return !engine_calls().empty(); }));
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(engine_calls()[0], (std::pair<std::string, std::string>{"<null>", store}));
    EXPECT_TRUE(wait_until([this] { return rows() == 4; }));

    end_dialog();
    start_store = L"C:\\nowhere\\Gone.dbx";
    start_dialog();
    wchar_t note[128] = {};
    GetWindowTextW(item(IDC_PATH_NOTE), note, 128);
    EXPECT_EQ(std::wstring(note), L"There is no file by this name.");
    EXPECT_FALSE(enabled(IDOK));
    EXPECT_EQ(engine_calls().size(), 1u);
}

TEST_F(dialog_state_test, file_dialog_is_asked_for_one_store_and_the_first_of_several_is_taken) {
    cancel_file_dialog();
    click(1001);
    EXPECT_TRUE(dbx_path.empty());
    EXPECT_FALSE(enabled(IDOK));
    EXPECT_FALSE(menu_enabled(32772));
    {
        std::lock_guard<std::mutex> hold(lock);
        ASSERT_EQ(file_dialog_calls.size(), 1u);
        const file_dialog_call& call = file_dialog_calls[0];
        EXPECT_TRUE(call.open_mode);
        EXPECT_EQ(call.flags & 0x206u, 0x206u);
        EXPECT_EQ(call.filter,
                  L"Microsoft Outlook Express File (*dbx)|*.dbx;*.dbx|All files (*.*)|*.*||");
        EXPECT_EQ(call.title, L"Select File...");
        EXPECT_TRUE(call.owned_by_dialog);
    }

    pick_files(std::wstring(L"C:\\old mail") + L'\0' + L"Outbox.dbx" + L'\0' + L"Inbox.dbx");
    click(1001);
    EXPECT_EQ(dbx_path, L"C:\\old mail\\Outbox.dbx");
    EXPECT_EQ(dbx_file_name, L"Outbox.dbx");
    cancel_file_dialog();
    click(1001);
    {
        std::lock_guard<std::mutex> hold(lock);
        ASSERT_EQ(file_dialog_calls.size(), 3u);
        wchar_t documents[MAX_PATH] = {};
        SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents);
        EXPECT_EQ(file_dialog_calls[0].initial_dir, documents)
            << "the first pick starts in the user's documents, not the working folder";
        EXPECT_EQ(file_dialog_calls[2].initial_dir, L"C:\\old mail\\")
            << "the next pick starts in the folder of the last";
    }
    wchar_t shown[MAX_PATH] = {};
    GetWindowTextW(item(1000), shown, MAX_PATH);
    EXPECT_EQ(std::wstring(shown), dbx_path);

    // A typed path that names no file chooses nothing, and says so beside the box.
    SetWindowTextW(item(1000), L"D:\\elsewhere\\Typed.dbx");
    EXPECT_FALSE(enabled(IDOK));
    EXPECT_FALSE(menu_enabled(ID_FILE_SCAN));
    wchar_t note[128] = {};
    GetWindowTextW(item(IDC_PATH_NOTE), note, 128);
    EXPECT_EQ(std::wstring(note), L"There is no file by this name.");
    use_engine([](const char*, const char*) { return -1; });
    click(IDOK);
    EXPECT_TRUE(engine_calls().empty());
}

TEST_F(dialog_state_test, save_command_rejects_a_folder_without_a_path_or_that_does_not_exist) {
    use_engine([](const char*, const char*) { return -1; });
    pick_store("C:\\mail\\Inbox.dbx");
    click(1001);
    click(IDOK);
    ASSERT_TRUE(wait_for_run_end());
    click(1005);

    choose_folder(std::nullopt);  // cancelled: nothing changes
    save_folder = L"C:\\before";
    click(1003);
    EXPECT_EQ(save_folder, L"C:\\before");
    EXPECT_TRUE(boxes().empty());

    choose_folder(L"");
    click(1003);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text,
              L"Saving path doesn't exist, please select another path for saving.");
    EXPECT_EQ(boxes()[0].title, L"Tavrin for Morvale");
    EXPECT_EQ(boxes()[0].flags, 4160u);
    EXPECT_TRUE(boxes()[0].owned_by_dialog);

    temp_dir folder;
    std::wstring missing = folder.path().wstring() + L"\\not here";
    choose_folder(missing);
    click(1003);
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(boxes()[1].text,
              L"Saving path doesn't exist, please select another path for saving.");
    EXPECT_EQ(boxes()[1].title, L"Tavrin for Morvale");
    EXPECT_EQ(boxes()[1].flags, 64u);
    EXPECT_EQ(save_folder, missing) << "the rejected folder is kept";
    EXPECT_EQ(engine_calls().size(), 1u) << "no run started";
    {
        std::lock_guard<std::mutex> hold(lock);
        ASSERT_EQ(folder_calls.size(), 3u);
        EXPECT_EQ(folder_calls[0].title, L"Select the Path to Save Recovered Contacts File");
        EXPECT_EQ(folder_calls[0].options & FOS_PICKFOLDERS, unsigned(FOS_PICKFOLDERS));
        EXPECT_TRUE(folder_calls[0].owned_by_dialog);
        // Each opens where the folder chosen last is.
        EXPECT_EQ(folder_calls[0].start, L"C:\\before");
        EXPECT_EQ(folder_calls[1].start, L"C:\\before");
        EXPECT_EQ(folder_calls[2].start, L"C:\\mail\\") << "none chosen: the store's folder";
    }
}

// "Next" after a format was chosen saves: with no folder chosen it asks for one (never the
// root of the drive), and as PST it asks for the file each time; a file that stands there
// is replaced only when the user agreed to it in the save dialog.
TEST_F(dialog_state_test, next_in_a_save_mode_saves_only_where_the_user_chose) {
    quiet_engine();
    std::vector<std::pair<std::string, bool>> pst_runs;
    seams.save_pst = [&](const char* pst, const char*, const std::vector<chain_id>*, bool replace,
                         scanned_store*) {
        std::lock_guard<std::mutex> hold(lock);
        pst_runs.emplace_back(pst, replace);
        return -1;
    };
    temp_dir folder;
    pick_store("C:\\mail\\Inbox.dbx");
    click(1001);
    click(IDOK);
    ASSERT_TRUE(wait_for_run_end());
    click(1005);
    auto next_with = [&](const char* store, const std::wstring& data_file = L"") {
        pick_store(store);
        click(1001);
        if (!data_file.empty()) pick_files(data_file);
        click(IDOK);
        ASSERT_TRUE(wait_for_run_end());
    };

    choose_folder(std::nullopt);  // asked, and cancelled: no run
    next_with("C:\\mail\\Sent.dbx");
    EXPECT_TRUE(enabled(IDOK));
    EXPECT_EQ(engine_calls().size(), 1u);
    choose_folder(folder.path().wstring());
    click(IDOK);
    ASSERT_TRUE(wait_for_run_end());
    next_with("C:\\mail\\Outbox.dbx");  // the folder chosen stands: not asked again
    ASSERT_EQ(engine_calls().size(), 3u);
    EXPECT_EQ(engine_calls()[1].first, utf8(folder.path().wstring()) + "\\Sent.dbx");
    EXPECT_EQ(engine_calls()[2].first, utf8(folder.path().wstring()) + "\\Outbox.dbx");

    click(1017);
    std::filesystem::path old_file = folder.path() / "Old.pst",
                          new_file = folder.path() / "New.pst";
    std::ofstream(old_file) << "a data file of the user's";
    next_with("C:\\mail\\Inbox.dbx", old_file.wstring());
    next_with("C:\\mail\\Sent.dbx", new_file.wstring());
    std::lock_guard<std::mutex> hold(lock);
    EXPECT_EQ(pst_runs, (std::vector<std::pair<std::string, bool>>{
                            {utf8(old_file.wstring()), true}, {utf8(new_file.wstring()), false}}));
    EXPECT_EQ(folder_calls.size(), 2u);
    ASSERT_EQ(file_dialog_calls.size(), 7u);  // five stores picked, two data files
    for (size_t call : {4u, 6u}) {
        EXPECT_FALSE(file_dialog_calls[call].open_mode);
        EXPECT_EQ(file_dialog_calls[call].flags & OFN_OVERWRITEPROMPT, DWORD(OFN_OVERWRITEPROMPT));
    }
}
