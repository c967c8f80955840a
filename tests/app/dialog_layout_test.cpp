// The main dialog as the resources make it, its menus and boxes, and the ways it ends.
// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <cstdlib>
#include <vector>

#include "app/framework/app.h"
#include "app/save_commands.h"
#include "dialog_driver.h"

namespace {

std::wstring window_text(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

std::wstring menu_text(HMENU menu, UINT position) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
    return text;
}

HWND wait_for_about_box() {
    HWND about = nullptr;
    bool shown = wait_until([&] {
        about = FindWindowW(L"#32770", L"About Tavrin Morvale ver(1.0)");
        return about != nullptr && IsWindowVisible(about);
    });
    return shown ? about : nullptr;
}

RECT window_rect(HWND window) {
    RECT at{};
    GetWindowRect(window, &at);
    return at;
}

int column_width(HWND list, int column) {
    return int(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
}

// The columns together are as wide as the list's inside.
bool columns_fill(HWND list) {
    int sum = 0;
    for (int column = 0; column < 5; ++column) sum += column_width(list, column);
    RECT inside;
    GetClientRect(list, &inside);
    return sum == inside.right;
}

bool checked_in_view_menu(HWND window, int position) {
    return GetMenuState(GetSubMenu(GetMenu(window), 2), position, MF_BYPOSITION) & MF_CHECKED;
}

bool wait_until_gone(HWND window) {
    return wait_until([window] { return !IsWindow(window); });
}

}  // namespace

TEST_F(dialog_test, controls_come_from_the_template) {
    EXPECT_EQ(window_text(window), L"Tavrin Morvale ver(1.0)");
    EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_TRUE(GetWindowLongPtrW(window, GWL_STYLE) & WS_MINIMIZEBOX);
    EXPECT_EQ(window_text(item(IDOK)), L"&Next");
    EXPECT_EQ(window_text(item(1001)), L"&Browse...");
    EXPECT_EQ(window_text(item(1003)), L"&Save");
    EXPECT_EQ(window_text(item(1004)), L"S&top");
    EXPECT_EQ(window_text(item(1005)), L"Save as EM&L");
    EXPECT_EQ(window_text(item(1006)), L"Save as &MSG");
    EXPECT_FALSE(IsWindowVisible(item(IDCANCEL)));
    EXPECT_TRUE(GetWindowLongPtrW(item(1005), GWL_STYLE) & WS_GROUP);
    EXPECT_EQ(window_text(item(1000)), L"");
    // The window icon is set as both the big and the small icon.
    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_EQ(SendMessageW(window, WM_QUERYDRAGICON, 0, 0),
              SendMessageW(window, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(SendMessageW(item(1007), PBM_GETRANGE, FALSE, 0), 100);
}

TEST_F(dialog_test, list_has_four_left_aligned_columns_a_fragment_mark_and_grid_lines) {
    HWND list = item(1002);
    EXPECT_EQ(GetWindowLongPtrW(list, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    const wchar_t* headings[] = {L"From", L"E-mail Subject", L"To", L"Date"};
    const int widths[] = {130, 150, 130, 160};
    for (int column = 0; column < 4; ++column) {
        wchar_t text[64] = {};
        LVCOLUMNW column_info{};
        column_info.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
        column_info.pszText = text;
        column_info.cchTextMax = 64;
        ASSERT_TRUE(
            SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&column_info)))
            << column;
        EXPECT_EQ(std::wstring(text), headings[column]);
        EXPECT_EQ(column_info.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
        if (column < 3) {
            EXPECT_EQ(column_info.cx, widths[column]) << column;
        } else {
            EXPECT_GE(column_info.cx, widths[column]) << "the last fills the list";
        }
    }
    // The fifth, narrow column marks deleted fragments; it is shown first.
    LVCOLUMNW fifth{};
    fifth.mask = LVCF_WIDTH;
    ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, 4, reinterpret_cast<LPARAM>(&fifth)));
    EXPECT_LT(fifth.cx, 40);
    int order[5] = {};
    ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNORDERARRAY, 5, reinterpret_cast<LPARAM>(order)));
    EXPECT_EQ(order[0], 4);
    EXPECT_FALSE(GetWindowLongPtrW(list, GWL_STYLE) & LVS_SINGLESEL)
        << "several rows can be chosen";
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) &
                  (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES),
              LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
}

TEST_F(dialog_test, menu_and_system_menu) {
    HMENU bar = GetMenu(window);
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 4);
    EXPECT_EQ(menu_text(bar, 0), L"&File");
    EXPECT_EQ(menu_text(bar, 1), L"&Edit");
    EXPECT_EQ(menu_text(bar, 2), L"&View");
    EXPECT_EQ(menu_text(bar, 3), L"&Help");
    HMENU file = GetSubMenu(bar, 0);
    const UINT file_ids[] = {32771, 32772, 32773, 32774, 32785, 0, 32781, 32782, 32786, 0, 32775};
    const wchar_t* file_items[] = {L"&Open",
                                   L"S&can",
                                   L"Save &EML",
                                   L"Save &MSG",
                                   L"Save &PST",
                                   L"",
                                   L"Save selected as EM&L...",
                                   L"Save selected as MS&G...",
                                   L"Save selected as PS&T...",
                                   L"",
                                   L"E&xit"};
    ASSERT_EQ(GetMenuItemCount(file), 11);
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(GetMenuItemID(file, i), file_ids[i]);
        EXPECT_EQ(menu_text(file, i), file_items[i]);
    }
    HMENU view = GetSubMenu(bar, 2);
    ASSERT_EQ(GetMenuItemCount(view), 2);
    EXPECT_EQ(GetMenuItemID(view, 0), 32778u);
    EXPECT_EQ(menu_text(view, 0), L"&Decoded text");
    EXPECT_FALSE(GetMenuState(view, 0, MF_BYPOSITION) & MF_CHECKED) << "the cells as written";
    EXPECT_EQ(menu_text(view, 1), L"&Preview");
    EXPECT_TRUE(GetMenuState(view, 1, MF_BYPOSITION) & MF_CHECKED) << "on at the start";
    HMENU help = GetSubMenu(bar, 3);
    ASSERT_EQ(GetMenuItemCount(help), 2);
    EXPECT_EQ(GetMenuItemID(help, 0), 32776u);
    EXPECT_EQ(menu_text(help, 0), L"&Content\tF1");
    EXPECT_EQ(GetMenuItemID(help, 1), 32777u);
    EXPECT_EQ(menu_text(help, 1), L"&About Tavrin Morvale");

    HMENU system = GetSystemMenu(window, FALSE);
    int count = GetMenuItemCount(system);
    ASSERT_GE(count, 2);
    EXPECT_EQ(GetMenuItemID(system, count - 1), 16u);
    EXPECT_EQ(menu_text(system, count - 1), L"&About Morvale...");
    EXPECT_TRUE(GetMenuState(system, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
}

TEST_F(dialog_test, about_box_from_the_system_menu_and_from_the_help_menu) {
    for (int route = 0; route < 2; ++route) {
        if (route == 0) {
            PostMessageW(window, WM_SYSCOMMAND, 16, 0);
        } else {
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(32777, 0), 0);
        }
        HWND about = wait_for_about_box();
        ASSERT_NE(about, nullptr) << "route " << route;
        HWND picture = GetWindow(about, GW_CHILD);
        ASSERT_NE(picture, nullptr);
        EXPECT_NE(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
        HWND line = GetWindow(picture, GW_HWNDNEXT);
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(window_text(line), L"Tavrin Morvale, Version " MORVALE_PROJECT_VERSION);
        HWND ok = GetWindow(line, GW_HWNDNEXT);
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(window_text(ok), L"OK");
        // OK closes it the first time, the close box the second.
        if (route == 0) {
            PostMessageW(ok, BM_CLICK, 0, 0);
        } else {
            PostMessageW(about, WM_CLOSE, 0, 0);
        }
        EXPECT_TRUE(wait_until_gone(about));
    }
    EXPECT_FALSE(dialog_ended);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(dialog_test, escape_ends_the_dialog_without_a_question) {
    SetFocus(item(1001));
    PostMessageW(item(1001), WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(wait_for_dialog_end());
    EXPECT_EQ(dialog_result, IDCANCEL);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(dialog_test, exit_menu_asks_and_ends_only_on_yes) {
    answer_box(IDNO);
    command(32775);
    EXPECT_FALSE(dialog_ended);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, L"Do you want to Exit ?       ");
    EXPECT_EQ(boxes()[0].title, L"Tavrin Morvale");
    EXPECT_EQ(boxes()[0].flags, 4132u);
    EXPECT_TRUE(boxes()[0].owned_by_dialog);

    answer_box(IDYES);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(32775, 0), 0);
    ASSERT_TRUE(wait_for_dialog_end());
    EXPECT_EQ(dialog_result, IDCANCEL);
    EXPECT_EQ(boxes().size(), 2u);
}

TEST_F(dialog_test, close_box_asks_and_ends_only_on_yes) {
    answer_box(IDNO);
    SendMessageW(window, WM_CLOSE, 0, 0);  // (returns once the dialog has handled it)
    EXPECT_FALSE(dialog_ended);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, L"Do you want to Exit ?       ");
    EXPECT_EQ(boxes()[0].flags, 4132u);

    answer_box(IDYES);
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(wait_for_dialog_end());
    EXPECT_EQ(dialog_result, IDCANCEL);
    EXPECT_EQ(boxes().size(), 2u);
}

// The help file is looked for beside the program, whatever the working directory; the
// menu and F1 (WM_HELP) both open it, and a missing file is said to be missing.
TEST_F(dialog_test, help_is_found_beside_the_program_and_missing_help_is_said) {
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring help = module;
    help = help.substr(0, help.find_last_of(L'\\') + 1) + L"quenby.chm";
    DeleteFileW(help.c_str());
    command(32776);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, L"The help file " + help + L" is missing.");
    EXPECT_TRUE(boxes()[0].owned_by_dialog);

    CloseHandle(CreateFileW(help.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    wchar_t elsewhere[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, elsewhere);
    SetCurrentDirectoryW(elsewhere);
    command(32776);
    HELPINFO info{};
    info.cbSize = sizeof info;
    SendMessageW(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    DeleteFileW(help.c_str());
    std::lock_guard<std::mutex> hold(lock);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], L"open " + help + L" 5");
    EXPECT_EQ(opened[1], opened[0]);
}

// What a keyboard user meets: Tab visits the list, the preview, the choices and the
// buttons, then the store's path; no two mnemonics share a letter, nor with the menu bar.
TEST_F(dialog_test, tab_follows_the_work_and_mnemonics_are_unique) {
    for (int id : {IDOK, 1004, 1005, 1006}) EnableWindow(item(id), TRUE);
    click(1005);  // a format chosen: "Save" is usable
    std::vector<int> expected = {1002, 1005, 1004, IDOK, 1003, 1000, 1001, 1002};
    // The preview pane, when the window is wide enough for it, comes after the list.
    if (IsWindowVisible(item(1013))) expected.insert(expected.begin() + 1, 1013);
    std::wstring letters;
    HMENU bar = GetMenu(window);
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(bar, UINT(i), text, 64, MF_BYPOSITION);
        if (const wchar_t* mark = wcschr(text, L'&')) letters += wchar_t(towupper(mark[1]));
    }
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        std::wstring text = window_text(child);
        size_t mark = text.find(L'&');
        if (mark != std::wstring::npos && mark + 1 < text.size())
            letters += wchar_t(towupper(text[mark + 1]));
    }
    EXPECT_EQ(letters,
              L"FEVHIL"
              L"MPORTNSDB");
    std::vector<int> order;
    HWND at = item(1002);
    for (size_t i = 0; i < expected.size(); ++i) {
        order.push_back(GetDlgCtrlID(at));
        at = GetNextDlgTabItem(window, at, FALSE);
    }
    EXPECT_EQ(order, expected);
}

// The window can grow, the list (and the preview beside it) with it; it cannot shrink
// below the template's size; it opens in the middle of the screen.
TEST_F(dialog_test, window_grows_with_the_list_and_keeps_its_smallest_size) {
    EXPECT_TRUE(GetWindowLongPtrW(window, GWL_STYLE) & WS_THICKFRAME);
    RECT opened;
    GetWindowRect(window, &opened);
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(std::abs((opened.left + opened.right) - (work.left + work.right)), 4);
    // The smallest size, and from there larger.
    SetWindowPos(window, nullptr, 0, 0, 10, 10, SWP_NOZORDER | SWP_NOMOVE);
    RECT start, list_start;
    GetWindowRect(window, &start);
    GetWindowRect(item(1002), &list_start);
    EXPECT_FALSE(IsWindowVisible(item(1013))) << "no room for the preview";
    EXPECT_FALSE(IsWindowVisible(item(1009))) << "the rows below the list fold";
    EXPECT_FALSE(IsWindowVisible(item(1010)));
    EXPECT_GE(SendMessageW(item(1002), LVM_GETCOUNTPERPAGE, 0, 0), 5) << "the list takes the room";

    SetWindowPos(window, nullptr, 0, 0, start.right - start.left + 200,
                 start.bottom - start.top + 100, SWP_NOZORDER | SWP_NOMOVE);
    RECT list_grown, save_grown, save_start_window;
    GetWindowRect(item(1002), &list_grown);
    if (IsWindowVisible(item(1013))) {  // the list and the preview share the place
        RECT pane;
        GetWindowRect(item(1013), &pane);
        list_grown.right = pane.right;
    }
    EXPECT_EQ(list_grown.right - list_grown.left, list_start.right - list_start.left + 200);
    EXPECT_EQ(list_grown.bottom - list_grown.top, list_start.bottom - list_start.top + 100);
    GetWindowRect(item(1003), &save_grown);
    GetWindowRect(window, &save_start_window);
    EXPECT_LT(save_start_window.bottom - save_grown.bottom, 70) << "buttons stay at the bottom";

    MINMAXINFO limits{};
    SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, start.right - start.left);
    EXPECT_EQ(limits.ptMinTrackSize.y, start.bottom - start.top);
}

// The splitter between the list and the preview follows the mouse that drags it, from a
// fifth to four fifths of the place the two share; a press beside it drags nothing, and
// after the release the mouse moves it no more.
TEST_F(dialog_test, the_splitter_follows_the_dragging_mouse_between_a_fifth_and_four_fifths) {
    MoveWindow(window, 40, 30, 1100, 650, TRUE);
    HWND list = item(1002), pane = item(1013);
    ASSERT_TRUE(IsWindowVisible(pane));
    auto client_rect = [this](HWND control) {
        RECT at = window_rect(control);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&at), 2);
        return at;
    };
    auto list_width = [&] {
        RECT at = client_rect(list);
        return int(at.right - at.left);
    };
    RECT list_at = client_rect(list), pane_at = client_rect(pane);
    int shared = pane_at.right - list_at.left, gap = pane_at.left - list_at.right;
    int y = (list_at.top + list_at.bottom) / 2;
    auto mouse = [this, y](UINT message, int x) {
        SendMessageW(window, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(x, y));
    };
    EXPECT_EQ(list_width(), int((shared - gap) * 0.5));

    mouse(WM_LBUTTONDOWN, list_at.right - 20);
    mouse(WM_MOUSEMOVE, list_at.left);
    mouse(WM_LBUTTONUP, list_at.left);
    EXPECT_EQ(list_width(), int((shared - gap) * 0.5)) << "pressed beside the splitter";

    mouse(WM_LBUTTONDOWN, list_at.right + gap / 2);
    mouse(WM_MOUSEMOVE, list_at.left);
    EXPECT_EQ(list_width(), int((shared - gap) * 0.2));
    EXPECT_EQ(client_rect(pane).right, pane_at.right);
    mouse(WM_MOUSEMOVE, pane_at.right);
    EXPECT_EQ(list_width(), int((shared - gap) * 0.8));
    mouse(WM_LBUTTONUP, pane_at.right);
    mouse(WM_MOUSEMOVE, list_at.left);
    EXPECT_EQ(list_width(), int((shared - gap) * 0.8)) << "released";
    EXPECT_TRUE(IsWindowVisible(pane));
}

// At the smallest size and at a size that fits the screen, every control shows whole,
// inside the window and above the status bar, at whatever scale the display has.
TEST_F(dialog_test, controls_stay_inside_the_window_and_above_the_status_bar) {
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    for (int height : {10, int(work.bottom - work.top)}) {
        SetWindowPos(window, nullptr, 0, 0, 10, height, SWP_NOZORDER | SWP_NOMOVE);
        RECT client, bar;
        GetClientRect(window, &client);
        GetWindowRect(item(1016), &bar);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&bar), 2);
        for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            int id = GetDlgCtrlID(child);
            if (id == 1016 || id == IDCANCEL || !IsWindowVisible(child)) continue;
            RECT at;
            GetWindowRect(child, &at);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&at), 2);
            EXPECT_GE(at.left, 0) << id;
            if (id != 1011) {  // the banner may bleed over the edge
                EXPECT_LE(at.right, client.right) << id;
            }
            EXPECT_LE(at.bottom, bar.top) << id << " at height " << height;
        }
    }
}

// "Next" disables itself when a scan starts; the focus moves on to a live control.
TEST_F(dialog_test, focus_leaves_a_control_that_disables_itself) {
    use_engine([](const char*, const char*) { return 0; });
    pick_store("C:\\mail\\Inbox.dbx");
    click(1001);
    SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(IDOK)), TRUE);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(wait_for_run_end());
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info));
    EXPECT_NE(info.hwndFocus, item(IDOK));
    EXPECT_NE(info.hwndFocus, nullptr);
    EXPECT_TRUE(IsWindowEnabled(info.hwndFocus));
}

// Column widths, the window's place, Decoded text and Preview are kept per user under the
// program's own key and come back at the next start; a window kept larger than the screen
// comes back fitted to it. The last column fills the list.
TEST_F(dialog_test, the_view_comes_back_at_the_next_start) {
    const std::wstring key = L"Software\\Tavrin Morvale tests";
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    CWinApp app(L"Morvale");
    app.SetRegistryKey(L"Tavrin Morvale tests");
    end_dialog();
    start_dialog();
    HWND list = item(1002);
    EXPECT_FALSE(checked_in_view_menu(window, 0));
    EXPECT_TRUE(checked_in_view_menu(window, 1));

    MoveWindow(window, 40, 30, 1100, 650, TRUE);
    command(32778);  // View > Decoded text
    command(32779);  // View > Preview
    EXPECT_TRUE(columns_fill(list));
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(230, 0));
    EXPECT_TRUE(columns_fill(list)) << "the last column gives way";
    RECT placed = window_rect(window);
    pick_files(L"C:\\old mail\\Inbox.dbx");
    click(1001);
    end_dialog();
    dbx_path.clear();  // as a new start of the program has it
    dbx_file_name.clear();
    start_dialog();
    cancel_file_dialog();
    click(1001);
    {
        std::lock_guard<std::mutex> hold(lock);
        ASSERT_EQ(file_dialog_calls.size(), 2u);
        EXPECT_EQ(file_dialog_calls[1].initial_dir, L"C:\\old mail\\")
            << "the picker opens where the store of the last start was";
    }
    list = item(1002);
    RECT back = window_rect(window);
    EXPECT_TRUE(EqualRect(&placed, &back));
    EXPECT_EQ(column_width(list, 0), 230);
    EXPECT_TRUE(columns_fill(list));
    EXPECT_TRUE(checked_in_view_menu(window, 0));
    EXPECT_FALSE(checked_in_view_menu(window, 1));
    EXPECT_FALSE(IsWindowVisible(item(1013)));

    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(window, nullptr, work.left, work.top, 1000, (work.bottom - work.top) * 2,
                 SWP_NOZORDER);
    end_dialog();
    start_dialog();
    RECT fitted = window_rect(window);
    EXPECT_LE(fitted.bottom - fitted.top, work.bottom - work.top);
    EXPECT_GE(fitted.top, work.top);
    MINMAXINFO limits{};
    SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_GE(fitted.bottom - fitted.top, limits.ptMinTrackSize.y);
    end_dialog();

    HKEY settings = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (key + L"\\Morvale\\Settings").c_str(), 0, KEY_READ,
                            &settings),
              ERROR_SUCCESS);
    if (settings != nullptr) RegCloseKey(settings);
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}
