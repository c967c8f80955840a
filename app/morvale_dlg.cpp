#include "app/morvale_dlg.h"

#include <io.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <new>
#include <vector>

#include "app/about_dlg.h"
#include "app/framework/app.h"
#include "app/framework/file_dialog.h"
#include "app/help.h"
#include "app/message_flags.h"
#include "app/pictures.h"
#include "app/resource.h"
#include "app/shell_seams.h"
#include "app/worker.h"
#include "engine/engine.h"
#include "platform/text.h"

std::wstring dbx_path;
std::wstring dbx_file_name;
std::wstring save_folder;
std::wstring pst_file;

namespace {

const wchar_t* const no_folder_text =
    L"Saving path doesn't exist, please select another path for saving.";

const wchar_t* const exit_question = L"Do you want to Exit ?       ";

// The timer that shows the rows and the progress the worker gave since the last tick.
constexpr UINT_PTR rows_timer = 1;
constexpr UINT rows_timer_interval = 250;  // milliseconds

// Sent by the worker when it wants the rows it handed over shown now.
constexpr UINT take_rows_message = WM_APP + 1;

// How the controls follow the window as it grows.
const std::vector<std::pair<int, unsigned>> control_layout = {
    {IDC_BANNER, layout::widens},
    {IDC_STORE_GROUP, layout::widens},
    {IDC_DBX_PATH, layout::widens},
    {IDC_BROWSE, layout::moves_right},
    {IDC_MESSAGE_LIST, layout::widens | layout::heightens},
    {IDC_OPTION_GROUP, layout::moves_down | layout::widens},
    {IDC_SAVE_EML, layout::moves_down},
    {IDC_SAVE_MSG, layout::moves_down | layout::moves_half_right},
    {IDC_SAVE_PST, layout::moves_down | layout::moves_right},
    {IDC_PROGRESS_GROUP, layout::moves_down | layout::widens},
    {IDC_PROGRESS, layout::moves_down | layout::widens},
    {IDC_STOP, layout::moves_down | layout::moves_half_right},
    {IDOK, layout::moves_down | layout::moves_half_right},
    {IDC_SAVE, layout::moves_down | layout::moves_half_right},
    {IDCANCEL, layout::moves_down | layout::moves_right},
};

// The dialog manager takes Enter for the default button, which is mostly disabled; on the
// list Enter opens the selected message, so the list asks for the key itself.
LRESULT CALLBACK list_wants_enter(HWND list, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                  DWORD_PTR) {
    if (message == WM_GETDLGCODE && lparam != 0) {
        const auto* key = reinterpret_cast<const MSG*>(lparam);
        if (key->message == WM_KEYDOWN && key->wParam == VK_RETURN) return DLGC_WANTMESSAGE;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(list, list_wants_enter, 0);
    return DefSubclassProc(list, message, wparam, lparam);
}

std::wstring widen(const std::string& utf8) {
    std::u16string text = platform::utf8_to_utf16(utf8);
    return std::wstring(text.begin(), text.end());
}

}  // namespace

BEGIN_MESSAGE_MAP(CMorvaleDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDOK, OnNext)
ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
ON_BN_CLICKED(IDC_STOP, OnStop)
ON_WM_CLOSE()
ON_BN_CLICKED(IDC_SAVE, OnSave)
ON_COMMAND(ID_HELP_ABOUT, OnAbout)
ON_COMMAND(ID_FILE_EXIT, OnExit)
ON_BN_CLICKED(IDC_SAVE_EML, OnSaveEmlClicked)
ON_BN_CLICKED(IDC_SAVE_MSG, OnSaveMsgClicked)
ON_BN_CLICKED(IDC_SAVE_PST, OnSavePstClicked)
ON_COMMAND(ID_FILE_OPEN_STORE, OnOpen)
ON_COMMAND(ID_FILE_SCAN, OnScan)
ON_COMMAND(ID_FILE_SAVE_EML, OnSaveEmlMenu)
ON_COMMAND(ID_FILE_SAVE_MSG, OnSaveMsgMenu)
ON_COMMAND(ID_FILE_SAVE_PST, OnSavePstMenu)
ON_COMMAND(ID_HELP_CONTENT, OnHelpContent)
ON_COMMAND(ID_VIEW_DECODED_TEXT, OnViewDecodedText)
ON_MESSAGE(WM_TIMER, OnTimer)
ON_MESSAGE(take_rows_message, OnTakeRows)
ON_MESSAGE(WM_SIZE, OnSize)
ON_MESSAGE(WM_GETMINMAXINFO, OnGetMinMaxInfo)
ON_MESSAGE(WM_HELP, OnHelpKey)
ON_MESSAGE(WM_DRAWITEM, OnDrawItem)
ON_MESSAGE(WM_DPICHANGED, OnDpiChanged)
ON_MESSAGE(WM_DESTROY, OnDestroy)
ON_NOTIFY(LVN_GETDISPINFOW, IDC_MESSAGE_LIST, OnListCell)
ON_NOTIFY(LVN_COLUMNCLICK, IDC_MESSAGE_LIST, OnListColumnClick)
ON_NOTIFY(NM_DBLCLK, IDC_MESSAGE_LIST, OnListActivate)
ON_NOTIFY(NM_RETURN, IDC_MESSAGE_LIST, OnListReturn)
END_MESSAGE_MAP()

CMorvaleDlg::CMorvaleDlg(CWnd* parent)
    : CDialog(IDD_MORVALE_DIALOG, parent),
      m_hIcon(LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      list_(m_message_list) {}

CMorvaleDlg::~CMorvaleDlg() {
    if (banner_ != nullptr) DeleteObject(banner_);
}

void CMorvaleDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_MESSAGE_LIST, m_message_list);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
    DDX_Control(pDX, IDC_SAVE_EML, m_save_eml);
    DDX_Control(pDX, IDC_SAVE_MSG, m_save_msg);
    DDX_Control(pDX, IDC_SAVE_PST, m_save_pst);
    DDX_Control(pDX, IDCANCEL, m_cancel);
    DDX_Control(pDX, IDC_SAVE, m_save);
    DDX_Control(pDX, IDOK, m_next);
    DDX_Control(pDX, IDC_STOP, m_stop);
}

BOOL CMorvaleDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    main_dialog = this;
    add_about_item();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    insert_columns();
    m_message_list.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    load_banner();
    SetWindowSubclass(m_message_list.m_hWnd, list_wants_enter, 0, 0);
    layout_.capture(m_hWnd, control_layout);
    SetTimer(m_hWnd, rows_timer, rows_timer_interval, nullptr);
    m_save_msg.EnableWindow(FALSE);
    m_save_pst.EnableWindow(FALSE);
    m_save_eml.EnableWindow(FALSE);
    m_save.EnableWindow(FALSE);
    m_next.EnableWindow(FALSE);
    m_stop.EnableWindow(FALSE);
    set_menu_item(ID_FILE_SCAN, false);
    set_menu_item(ID_FILE_SAVE_EML, false);
    set_menu_item(ID_FILE_SAVE_MSG, false);
    set_menu_item(ID_FILE_SAVE_PST, false);
    return TRUE;
}

void CMorvaleDlg::add_about_item() {
    wchar_t text[256] = {};
    if (LoadStringW(AfxGetResourceHandle(), IDS_ABOUTBOX, text, 256) <= 0 || text[0] == L'\0')
        return;
    HMENU system_menu = GetSystemMenu(FALSE);
    if (system_menu == nullptr) return;
    AppendMenuW(system_menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(system_menu, MF_STRING, IDM_ABOUTBOX, text);
}

void CMorvaleDlg::insert_columns() {
    m_message_list.InsertColumn(0, L"From", LVCFMT_LEFT, 150);
    m_message_list.InsertColumn(1, L"E-mail Subject", LVCFMT_LEFT, 167);
    m_message_list.InsertColumn(2, L"To", LVCFMT_LEFT, 150);
    m_message_list.InsertColumn(3, L"Date", LVCFMT_LEFT, 160);
}

void CMorvaleDlg::set_menu_item(UINT id, bool enabled) {
    EnableMenuItem(GetMenu(), id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

int CMorvaleDlg::box(const std::wstring& text, const std::wstring& title, UINT flags) {
    return seams.message_box(m_hWnd, text, title, flags);
}

void CMorvaleDlg::OnSysCommand(UINT id, LPARAM lparam) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
    } else {
        Default();
    }
}

// Minimised, the dialog draws its icon in the middle of the client area itself.
void CMorvaleDlg::OnPaint() {
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    int icon_width = GetSystemMetrics(SM_CXICON);
    int icon_height = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(&client);
    int x = (client.right - client.left - icon_width + 1) / 2;
    int y = (client.bottom - client.top - icon_height + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CMorvaleDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hIcon);
}

// A start while a run goes is refused with a beep and changes nothing: runs must not
// overlap. A "Next" that arrives while the button is disabled is ignored as well.
void CMorvaleDlg::OnNext() {
    if (!m_next.IsWindowEnabled()) return;
    enable(m_stop, true);
    if (!begin_run()) return;
    enable(m_save_eml, true);
    enable(m_save_msg, true);
    enable(m_save_pst, true);
    enable(m_next, false);
    set_menu_item(ID_FILE_SCAN, false);
    set_menu_item(ID_FILE_SAVE_EML, true);
    set_menu_item(ID_FILE_SAVE_MSG, true);
    set_menu_item(ID_FILE_SAVE_PST, true);
}

// Every run starts with an empty list and an empty bar; a refused one beeps.
bool CMorvaleDlg::begin_run() {
    if (run_in_progress()) {
        seams.beep(MB_ICONWARNING);
        return false;
    }
    rows_.clear();
    list_.clear();
    progress_ = 0;
    m_progress.SetPos(0);
    rows_store_ = dbx_path;
    opened_.forget_store();
    start_run();
    return true;
}

// A control about to be disabled while it has the focus hands it on to the next one in
// Tab order, so the keyboard is never left on a dead control.
void CMorvaleDlg::enable(CWnd& control, bool enabled) {
    bool had_focus = ::GetFocus() == control.m_hWnd;
    control.EnableWindow(enabled ? TRUE : FALSE);
    if (enabled || !had_focus) return;
    HWND next = GetNextDlgTabItem(m_hWnd, control.m_hWnd, FALSE);
    if (next != nullptr && next != control.m_hWnd) {
        SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
    }
}

void CMorvaleDlg::OnScan() {
    OnNext();
}

void CMorvaleDlg::OnBrowse() {
    CFileDialog dialog(TRUE, nullptr, L"", store_picker_flags,
                       L"Microsoft Outlook Express File (*dbx)|*.dbx;*.dbx||", this, 0, TRUE);
    dialog.m_ofn.lpstrTitle = L"Select File...";
    if (seams.run_file_dialog(dialog) != IDOK) return;
    dbx_path = dialog.GetPathName();
    SetDlgItemText(IDC_DBX_PATH, dbx_path);
    dbx_file_name = dialog.GetFileName();
    enable(m_next, true);
    set_menu_item(ID_FILE_SCAN, true);
}

void CMorvaleDlg::OnOpen() {
    OnBrowse();
}

// A stopped run leaves the rows it found and an empty bar.
void CMorvaleDlg::OnStop() {
    if (!stop_run()) return;
    progress_ = 0;
    take_rows();
}

void CMorvaleDlg::OnClose() {
    if (box(exit_question, L"Tavrin Morvale", question_box) == IDYES) end_dialog_now();
}

void CMorvaleDlg::OnExit() {
    if (box(exit_question, L"Tavrin Morvale", question_box) == IDYES) end_dialog_now();
}

// Esc: while a run goes it asks first, as File > Exit does; idle, it closes at once.
void CMorvaleDlg::OnCancel() {
    if (run_in_progress()) {
        OnExit();
        return;
    }
    end_dialog_now();
}

void CMorvaleDlg::OnSave() {
    if (run_in_progress()) {
        seams.beep(MB_ICONWARNING);
        return;
    }
    save_command();
}

// The folder dialog opens where the last save went; a PST save asks for its file instead.
void CMorvaleDlg::save_command() {
    if (save_mode == 3) return save_pst_command();
    std::optional<std::wstring> folder =
        seams.browse_for_folder(m_hWnd, L"Select the Path to Save Recovered Contacts File",
                                save_folder, FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
    if (!folder) return;
    save_folder = *folder;
    if (save_folder.empty()) {
        box(no_folder_text, L"Tavrin for Morvale", system_information_box);
        return;
    }
    if (_waccess(save_folder.c_str(), 0) != 0) {
        box(no_folder_text, L"Tavrin for Morvale", information_box);
        return;
    }
    begin_run();
}

// The system's save dialog, offering "<store name>.pst" in the folder of the last save; it
// asks before a file that stands there is replaced.
void CMorvaleDlg::save_pst_command() {
    std::wstring name = dbx_file_name;
    if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".dbx") == 0)
        name.resize(name.size() - 4);
    CFileDialog dialog(FALSE, L"pst", (name + L".pst").c_str(),
                       OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST,
                       L"Outlook Data File (*.pst)|*.pst||", this, 0, TRUE);
    dialog.m_ofn.lpstrTitle = L"Save as Outlook Data File";
    if (!save_folder.empty()) dialog.m_ofn.lpstrInitialDir = save_folder.c_str();
    if (seams.run_file_dialog(dialog) != IDOK) return;
    pst_file = dialog.GetPathName();
    begin_run();
}

void CMorvaleDlg::OnSaveEmlClicked() {
    if (m_save_eml.GetCheck() != BST_CHECKED) return;
    enable(m_save, true);
    save_mode = 1;
}

void CMorvaleDlg::OnSaveMsgClicked() {
    if (m_save_msg.GetCheck() != BST_CHECKED) return;
    enable(m_save, true);
    save_mode = 2;
}

void CMorvaleDlg::OnSavePstClicked() {
    if (m_save_pst.GetCheck() != BST_CHECKED) return;
    enable(m_save, true);
    save_mode = 3;
}

void CMorvaleDlg::choose_format_and_save(int mode) {
    if (run_in_progress()) {
        seams.beep(MB_ICONWARNING);
        return;
    }
    m_save_eml.SetCheck(mode == 1 ? BST_CHECKED : BST_UNCHECKED);
    m_save_msg.SetCheck(mode == 2 ? BST_CHECKED : BST_UNCHECKED);
    m_save_pst.SetCheck(mode == 3 ? BST_CHECKED : BST_UNCHECKED);
    save_mode = mode;
    save_command();
}

void CMorvaleDlg::OnSaveEmlMenu() {
    choose_format_and_save(1);
}

void CMorvaleDlg::OnSaveMsgMenu() {
    choose_format_and_save(2);
}

void CMorvaleDlg::OnSavePstMenu() {
    choose_format_and_save(3);
}

void CMorvaleDlg::OnAbout() {
    CAboutDlg about;
    about.DoModal();
}

void CMorvaleDlg::OnHelpContent() {
    open_help_file(m_hWnd);
}

// View > Decoded text: From, Subject and To as people read them, or as written (the
// start). Only the view changes, so it may be switched while a run goes.
void CMorvaleDlg::OnViewDecodedText() {
    HMENU menu = GetMenu();
    bool decoded = (GetMenuState(menu, ID_VIEW_DECODED_TEXT, MF_BYCOMMAND) & MF_CHECKED) == 0;
    CheckMenuItem(menu, ID_VIEW_DECODED_TEXT, MF_BYCOMMAND | (decoded ? MF_CHECKED : MF_UNCHECKED));
    list_.show_decoded(decoded);
}

// F1 anywhere in the dialog.
LRESULT CMorvaleDlg::OnHelpKey(WPARAM, LPARAM) {
    open_help_file(m_hWnd);
    return TRUE;
}

// The engine's view, on the worker thread. Rows and progress are only recorded here; the
// UI thread shows them when its timer fires, so the worker never waits for the screen.
// An abandoned run's calls go nowhere: it touches the dialog no more.
int CMorvaleDlg::item_count() {
    return rows_.count();
}

void CMorvaleDlg::insert_item(int index) {
    if (worker_run_abandoned()) return;
    rows_.insert(index);
}

void CMorvaleDlg::set_item_text(int item, int subitem, const std::u16string& text) {
    if (worker_run_abandoned()) return;
    rows_.set_cell(item, subitem, text);
}

// A decoded value is a help to the eye only: when memory runs out for it, the row shows
// the value as written and the message goes on.
void CMorvaleDlg::set_item_decoded_text(int item, int subitem, const std::string& text) {
    if (worker_run_abandoned()) return;
    try {
        rows_.set_decoded(item, subitem, text);
    } catch (const std::bad_alloc&) {
    }
}

void CMorvaleDlg::set_progress(int position) {
    if (worker_run_abandoned()) return;
    progress_ = position;
}

// The rows found so far show before the box, so the list is whole behind it.
int CMorvaleDlg::message_box(const std::string& text, const std::string& title, unsigned flags) {
    if (worker_run_abandoned()) return IDCANCEL;
    rows_.hand_over(true);
    SendMessage(take_rows_message);
    return box(widen(text), widen(title), flags);
}

bool CMorvaleDlg::checkpoint() {
    return worker_checkpoint();
}

void CMorvaleDlg::run_ended() {
    if (worker_run_abandoned()) {
        unreadable_.clear();
        return;
    }
    rows_.hand_over(true);
    progress_ = 0;
    SendMessage(take_rows_message);
    show_unreadable();
}

void CMorvaleDlg::unreadable_bytes(const std::string& store, const std::string& what) {
    unreadable_store_ = store;
    unreadable_.push_back(what);
}

// One box at the end of a run lists the bytes of the store that could not be read.
void CMorvaleDlg::show_unreadable() {
    if (unreadable_.empty()) return;
    constexpr size_t listed_at_most = 20;
    std::string text = "Parts of " + unreadable_store_ +
                       " could not be read. Messages in them are missing, and messages that "
                       "touch them were not saved:\n";
    for (size_t i = 0; i < unreadable_.size() && i < listed_at_most; ++i)
        text += "\n" + unreadable_[i];
    if (unreadable_.size() > listed_at_most) {
        text += "\n... and " + std::to_string(unreadable_.size() - listed_at_most) + " more";
    }
    unreadable_.clear();
    message_box(text, "Tavrin Morvale", warning_box);
}

// The UI thread's side of the rows and the bar.
void CMorvaleDlg::take_rows() {
    list_.add(rows_.take());
    int position = progress_.load();
    if (m_progress.GetPos() != position) m_progress.SetPos(position);
}

LRESULT CMorvaleDlg::OnTimer(WPARAM id, LPARAM) {
    if (id == rows_timer) take_rows();
    return 0;
}

LRESULT CMorvaleDlg::OnTakeRows(WPARAM, LPARAM) {
    take_rows();
    return 0;
}

// The opened messages' temporary files go with the window.
LRESULT CMorvaleDlg::OnDestroy(WPARAM, LPARAM) {
    KillTimer(m_hWnd, rows_timer);
    opened_.remove_files();
    Default();
    return 0;
}

LRESULT CMorvaleDlg::OnListCell(NMHDR* header) {
    list_.fill_cell(reinterpret_cast<NMLVDISPINFOW*>(header));
    return 0;
}

LRESULT CMorvaleDlg::OnListColumnClick(NMHDR* header) {
    list_.sort_by(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
    return 0;
}

// A double-click on a row (Enter comes as the default button, see OnNext).
LRESULT CMorvaleDlg::OnListActivate(NMHDR* header) {
    open_message(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
    return 0;
}

// Enter on the list: the selected row.
LRESULT CMorvaleDlg::OnListReturn(NMHDR*) {
    open_message(
        static_cast<int>(m_message_list.SendMessage(LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)));
    return 0;
}

// The message of a row opens in the system's mail program. While a run goes the store is
// the run's alone, so the request is refused with a beep.
void CMorvaleDlg::open_message(int position) {
    if (position < 0 || position >= list_.size()) return;
    if (run_in_progress()) {
        seams.beep(MB_ICONWARNING);
        return;
    }
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    std::wstring error;
    std::wstring file = opened_.write(rows_store_, list_.engine_index(position),
                                      list_.shown(position).cells, error);
    SetCursor(previous);
    if (file.empty()) {
        box(error, L"Tavrin Morvale", warning_box);
        return;
    }
    seams.shell_open(m_hWnd, L"open", file, SW_SHOWNORMAL);
}

// Resizing: the controls follow; the template's size is the smallest.
LRESULT CMorvaleDlg::OnSize(WPARAM, LPARAM) {
    layout_.apply();
    return 0;
}

LRESULT CMorvaleDlg::OnGetMinMaxInfo(WPARAM, LPARAM info) {
    POINT smallest = layout_.minimum_size();
    if (smallest.x > 0) reinterpret_cast<MINMAXINFO*>(info)->ptMinTrackSize = smallest;
    return 0;
}

// On a display of another scale the banner drawn for that scale is taken.
LRESULT CMorvaleDlg::OnDpiChanged(WPARAM, LPARAM) {
    load_banner();
    Default();
    return 0;
}

void CMorvaleDlg::load_banner() {
    if (banner_ != nullptr) DeleteObject(banner_);
    banner_ = load_picture(IDB_BANNER, m_hWnd);
    InvalidateRect(GetDlgItem(IDC_BANNER), nullptr, FALSE);
}

// The banner at its own size; a wider window continues its right edge, where the
// picture is plain sea.
LRESULT CMorvaleDlg::OnDrawItem(WPARAM id, LPARAM item) {
    if (id != IDC_BANNER || banner_ == nullptr) return FALSE;
    const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(item);
    BITMAP size{};
    GetObjectW(banner_, sizeof size, &size);
    HDC picture = CreateCompatibleDC(draw->hDC);
    HGDIOBJ old = SelectObject(picture, banner_);
    int width = draw->rcItem.right - draw->rcItem.left;
    int height = draw->rcItem.bottom - draw->rcItem.top;
    BitBlt(draw->hDC, 0, 0, std::min<int>(width, size.bmWidth), height, picture, 0, 0, SRCCOPY);
    if (width > size.bmWidth) {
        StretchBlt(draw->hDC, size.bmWidth, 0, width - size.bmWidth, height, picture,
                   size.bmWidth - 1, 0, 1, size.bmHeight, SRCCOPY);
    }
    SelectObject(picture, old);
    DeleteDC(picture);
    return TRUE;
}
