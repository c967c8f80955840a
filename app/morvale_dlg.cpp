#include "app/morvale_dlg.h"

#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/about_dlg.h"
#include "app/framework/app.h"
#include "app/framework/file_dialog.h"
#include "app/help.h"
#include "app/message_flags.h"
#include "app/pictures.h"
#include "app/resource.h"
#include "app/shell_seams.h"
#include "app/wide_text.h"
#include "app/window_placement.h"
#include "engine/engine.h"
#include "platform/fs.h"
#include "platform/output_file.h"
#include "platform/read.h"
#include "platform/text.h"

namespace {

// The user's documents folder; empty when the system names none.
std::wstring documents_folder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return path;
}

const wchar_t* const exit_question = L"Do you want to Exit ?       ";

// The timer that shows the rows and the progress the worker gave since the last tick.
constexpr UINT_PTR rows_timer = 1;
constexpr UINT rows_timer_interval = 250;  // milliseconds

// Posted by the preview's thread when a preview is made (WPARAM: its number).
constexpr UINT preview_ready_message = WM_APP + 3;

// The status bar's parts: the counts, the selection, what is being done.
constexpr int counts_part = 0;
constexpr int selection_part = 1;
constexpr int activity_part = 2;

// How the controls follow the window as it grows.
const std::vector<std::pair<int, unsigned>> control_layout = {
    {IDC_BANNER, layout::widens},
    {IDC_STORE_GROUP, layout::widens},
    {IDC_DBX_PATH, layout::widens},
    {IDC_BROWSE, layout::moves_right},
    {IDC_PATH_NOTE, layout::widens},
    {IDC_MESSAGE_LIST, layout::widens | layout::heightens},
    {IDC_OPTION_GROUP, layout::moves_down | layout::widens},
    {IDC_SAVE_EML, layout::moves_down},
    {IDC_SAVE_MSG, layout::moves_down | layout::moves_half_right},
    {IDC_SAVE_PST, layout::moves_down | layout::moves_right},
    {IDC_PROGRESS_GROUP, layout::moves_down | layout::widens},
    {IDC_PROGRESS, layout::moves_down | layout::widens},
    {IDC_OPEN_FOLDER, layout::moves_down},
    {IDC_SHOW_ERRORS, layout::moves_down},
    {IDC_STOP, layout::moves_down | layout::moves_half_right},
    {IDOK, layout::moves_down | layout::moves_half_right},
    {IDC_SAVE, layout::moves_down | layout::moves_half_right},
    {IDCANCEL, layout::moves_down | layout::moves_right},
};

// Whether opening a file of this name runs what it holds: programs, scripts, installers
// and the shortcuts and settings files that start them.
bool runs_a_program(const std::wstring& file) {
    static const wchar_t* const kinds[] = {L".exe", L".com", L".scr", L".pif", L".bat", L".cmd",
                                           L".vbs", L".vbe", L".js",  L".jse", L".wsf", L".wsh",
                                           L".hta", L".msi", L".msp", L".cpl", L".lnk", L".reg",
                                           L".ps1", L".jar", L".inf", L".scf", L".url", L".chm"};
    size_t dot = file.rfind(L'.');
    if (dot == std::wstring::npos) return false;
    for (const wchar_t* kind : kinds) {
        if (_wcsicmp(file.c_str() + dot, kind) == 0) return true;
    }
    return false;
}

// The file name of a path: what follows its last separator.
std::wstring file_name_of(const std::wstring& path) {
    return path.substr(platform::file_name_start(path));
}

int scaled(int pixels, HWND window) {
    return MulDiv(pixels, int(window_dpi(window)), 96);
}

// A read-only text box reached with Tab keeps the caret where the reader left it, instead
// of having all its text selected as the dialog manager does.
LRESULT CALLBACK no_select_on_tab(HWND box, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                  DWORD_PTR) {
    if (message == WM_GETDLGCODE)
        return DefSubclassProc(box, message, wparam, lparam) & ~LRESULT(DLGC_HASSETSEL);
    if (message == WM_NCDESTROY) RemoveWindowSubclass(box, no_select_on_tab, 0);
    return DefSubclassProc(box, message, wparam, lparam);
}

void keep_selection_on_tab(HWND box) {
    if (box != nullptr) SetWindowSubclass(box, no_select_on_tab, 0, 0);
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
ON_COMMAND(ID_VIEW_PREVIEW, OnViewPreview)
ON_COMMAND(ID_LIST_OPEN, OnListOpen)
ON_COMMAND(ID_LIST_SAVE_EML, OnListSaveEml)
ON_COMMAND(ID_LIST_SAVE_MSG, OnListSaveMsg)
ON_COMMAND(ID_LIST_SAVE_PST, OnListSavePst)
ON_COMMAND(ID_LIST_COPY, OnListCopy)
ON_COMMAND(ID_EDIT_SELECT_ALL, OnSelectAll)
ON_BN_CLICKED(IDC_OPEN_FOLDER, OnOpenFolder)
ON_BN_CLICKED(IDC_SHOW_ERRORS, OnShowErrors)
ON_EN_CHANGE(IDC_DBX_PATH, OnPathEdited)
ON_MESSAGE(run_ended_message, OnRunEnded)
ON_MESSAGE(preview_ready_message, OnPreviewReady)
ON_MESSAGE(WM_CONTEXTMENU, OnContextMenu)
ON_MESSAGE(WM_LBUTTONDOWN, OnMouseDown)
ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
ON_MESSAGE(WM_LBUTTONUP, OnMouseUp)
ON_MESSAGE(WM_SETCURSOR, OnSetCursor)
ON_MESSAGE(WM_DROPFILES, OnDropFiles)
ON_MESSAGE(WM_TIMER, OnTimer)
ON_MESSAGE(take_rows_message, OnTakeRows)
ON_MESSAGE(WM_SIZE, OnSize)
ON_MESSAGE(WM_GETMINMAXINFO, OnGetMinMaxInfo)
ON_MESSAGE(WM_HELP, OnHelpKey)
ON_MESSAGE(WM_DRAWITEM, OnDrawItem)
ON_MESSAGE(WM_DPICHANGED, OnDpiChanged)
ON_MESSAGE(WM_DESTROY, OnDestroy)
ON_NOTIFY(LVN_GETDISPINFOW, IDC_MESSAGE_LIST, OnListCell)
ON_NOTIFY(NM_CUSTOMDRAW, IDC_MESSAGE_LIST, OnListDraw)
ON_NOTIFY(LVN_COLUMNCLICK, IDC_MESSAGE_LIST, OnListColumnClick)
ON_NOTIFY(NM_DBLCLK, IDC_MESSAGE_LIST, OnListActivate)
ON_NOTIFY(NM_RETURN, IDC_MESSAGE_LIST, OnListReturn)
ON_LBN_DBLCLK(IDC_ATTACHMENTS, OnAttachmentOpen)
ON_COMMAND(ID_ATTACHMENT_OPEN, OnAttachmentOpen)
ON_COMMAND(ID_ATTACHMENT_SAVE, OnAttachmentSave)
ON_NOTIFY(LVN_ITEMCHANGED, IDC_MESSAGE_LIST, OnListSelectionChanged)
ON_NOTIFY(LVN_ODSTATECHANGED, IDC_MESSAGE_LIST, OnListSelectionChanged)
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
    engine_view_.attach(m_hWnd);
    main_dialog = &engine_view_;
    add_about_item();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    list_.insert_columns(window_dpi(m_hWnd));
    m_message_list.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    load_banner();
    list_.take_keys();
    date_tip_.attach(m_message_list.m_hWnd, [this](int position, int column) {
        return column == 3 ? list_.date_tip(position) : std::nullopt;
    });
    create_status_bar();
    layout_.capture(m_hWnd, control_layout);
    fold_rows_when_short();
    RECT bar{};
    ::GetWindowRect(status_bar_, &bar);
    layout_.keep_clear_at_bottom(bar.bottom - bar.top);
    preview_ = std::make_unique<message_preview>(m_hWnd, preview_ready_message);
    preview_pane_.attach(GetDlgItem(IDC_PREVIEW_HEADER), GetDlgItem(IDC_ATTACHMENTS),
                         GetDlgItem(IDC_PREVIEW));
    pane_.attach(m_hWnd, m_message_list.m_hWnd, GetDlgItem(IDC_PREVIEW),
                 [this](const RECT* area) { preview_pane_.place(area); });
    keep_selection_on_tab(GetDlgItem(IDC_PREVIEW));
    SendDlgItemMessageW(m_hWnd, IDC_PREVIEW, EM_SETLIMITTEXT, 0, 0);
    DragAcceptFiles(m_hWnd, TRUE);
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
    update_status();
    view_settings settings = load_view_settings();
    kept_store_folder = settings.store_folder;
    kept_save_folder = settings.save_folder;
    restore_view(settings);
    place_window(m_hWnd, settings, layout_.minimum_size());
    layout_.apply();
    place_preview();
    list_.fill_width();
    if (!start_store_.empty()) {
        open_store(start_store_);
        // A store named on the command line is scanned at once, once the window shows.
        if (m_next.IsWindowEnabled())
            PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    return TRUE;
}

// The columns, Decoded text, Preview and the splitter as the user left them.
void CMorvaleDlg::restore_view(const view_settings& settings) {
    restore_column_widths(m_hWnd, m_message_list.m_hWnd, settings);
    if (settings.decoded_text) OnViewDecodedText();
    pane_.set_on(settings.preview);
    CheckMenuItem(GetMenu(), ID_VIEW_PREVIEW,
                  MF_BYCOMMAND | (pane_.on() ? MF_CHECKED : MF_UNCHECKED));
    pane_.set_split(settings.split);
}

// What the user made of the window, for the next start.
void CMorvaleDlg::keep_view() const {
    view_settings settings = window_view_settings(m_hWnd, m_message_list.m_hWnd);
    settings.decoded_text = list_.decoded();
    settings.preview = pane_.on();
    settings.split = pane_.split();
    settings.store_folder = !dbx_path.empty()      ? folder_of(dbx_path)
                            : !rows_store_.empty() ? folder_of(rows_store_)
                                                   : kept_store_folder;
    settings.save_folder = !save_folder.empty() ? save_folder
                           : !pst_file.empty()  ? folder_of(pst_file)
                                                : kept_save_folder;
    store_view_settings(settings);
}

// In a window shorter than the template the frames of the saving option and the progress
// rows go, the choices and the bar close up above the buttons, and the list takes the room.
void CMorvaleDlg::fold_rows_when_short() {
    auto pixels = [this](int units) {
        RECT r{0, 0, 0, units};
        MapDialogRect(m_hWnd, &r);
        return int(r.bottom);
    };
    layout_.fold_when_short(IDC_MESSAGE_LIST, pixels(51), false);
    layout_.fold_when_short(IDC_OPTION_GROUP, 0, true);
    layout_.fold_when_short(IDC_PROGRESS_GROUP, 0, true);
    for (int id : {IDC_SAVE_EML, IDC_SAVE_MSG, IDC_SAVE_PST})
        layout_.fold_when_short(id, pixels(40), false);
    layout_.fold_when_short(IDC_PROGRESS, pixels(22), false);
}

// The status bar is made here, not in the template: it places itself along the bottom.
void CMorvaleDlg::create_status_bar() {
    status_bar_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP,
                                  0, 0, 0, 0, m_hWnd, reinterpret_cast<HMENU>(IDC_STATUS),
                                  AfxGetResourceHandle(), nullptr);
    int parts[3] = {scaled(230, m_hWnd), scaled(330, m_hWnd), -1};
    ::SendMessageW(status_bar_, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
}

void CMorvaleDlg::set_status(int part, const std::wstring& text) {
    ::SendMessageW(status_bar_, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(text.c_str()));
}

// The counts, the selection and what is being done.
void CMorvaleDlg::update_status() {
    if (status_bar_ == nullptr) return;
    set_status(counts_part,
               counted(list_.messages(), L"message", L"messages") + L", " +
                   counted(list_.fragments(), L"deleted fragment", L"deleted fragments"));
    int selected = static_cast<int>(m_message_list.SendMessage(LVM_GETSELECTEDCOUNT));
    set_status(selection_part, grouped(selected) + L" selected");
    std::wstring activity = activity_;
    if (running_) activity += L": " + std::to_wstring(engine_view_.progress()) + L" %";
    set_status(activity_part, activity);
    update_save_commands();
}

// "Save" while a format is chosen with its button, and "Save selected" while rows are
// chosen; neither while a run goes.
void CMorvaleDlg::update_save_commands() {
    enable(m_save, save_button_on_ && !running_);
    bool usable = chosen_rows_usable();
    for (UINT id : {ID_LIST_SAVE_EML, ID_LIST_SAVE_MSG, ID_LIST_SAVE_PST})
        set_menu_item(id, usable);
}

bool CMorvaleDlg::chosen_rows_usable() const {
    return !running_ && m_message_list.SendMessage(LVM_GETSELECTEDCOUNT) > 0;
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
    if (run_in_progress()) {
        seams.beep(MB_ICONWARNING);
        return;
    }
    if (!choose_where_next_saves(this)) return;
    if (!begin_run(run_kind::scan)) return;
    enable(m_save_eml, true);
    enable(m_save_msg, true);
    enable(m_save_pst, true);
    set_menu_item(ID_FILE_SAVE_EML, true);
    set_menu_item(ID_FILE_SAVE_MSG, true);
    set_menu_item(ID_FILE_SAVE_PST, true);
}

// Every run starts with an empty bar, and "Stop" is enabled while it goes; a refused one
// beeps. A scan empties the list at once. A save of the store the list shows takes the
// chains its scan found, and the list stays as it is, sorted and chosen as the user left
// it; a save of another store keeps the rows listed until its own come.
bool CMorvaleDlg::begin_run(run_kind kind, const chosen_messages* chosen) {
    if (run_in_progress()) {
        seams.beep(MB_ICONWARNING);
        return false;
    }
    engine_view_.rows().clear();
    engine_view_.found_rows().clear();
    run_kind_ = kind;
    run_store_ = chosen ? chosen->store_path : dbx_path;
    run_request request = run_request_now(chosen);
    if (kind != run_kind::scan && rows_scan_ && run_store_ == rows_store_)
        request.scan = rows_scan_;
    run_keeps_rows_ = kind == run_kind::save_chosen || request.scan != nullptr;
    rows_replaced_ = false;
    if (kind == run_kind::scan) {
        list_.clear();
        rows_scan_.reset();
        rows_store_ = run_store_;
        rows_store_file_name_ = dbx_file_name;
        rows_replaced_ = true;
    }
    // How much of the run the scan takes: most of a listing, where the rows come from what
    // the scan read; little of a save, which reads and writes every message after it.
    bool saving = kind != run_kind::scan || (save_mode >= 1 && save_mode <= 3);
    engine_view_.reset_progress(request.scan ? 0 : saving ? 25 : 80);
    m_progress.SetPos(0);
    if (request.scan == nullptr) {  // the store is read anew: what was read of it may change
        opened_.forget_store();
        preview_->forget_store();
    }
    previewed_row_ = -1;
    preview_pane_.say(L"The preview is shown when the run has ended.");
    ShowWindow(GetDlgItem(IDC_OPEN_FOLDER), SW_HIDE);
    ShowWindow(GetDlgItem(IDC_SHOW_ERRORS), SW_HIDE);
    std::wstring store = chosen ? chosen->store_file_name : dbx_file_name;
    activity_ =
        kind == run_kind::scan ? L"Scanning " + store
        : chosen               ? L"Saving " +
                       counted(int(chosen->chains.size()), L"chosen message", L"chosen messages") +
                       L" of " + store
                 : L"Saving the messages of " + store;
    enable(m_stop, true);
    enable(m_next, false);
    set_menu_item(ID_FILE_SCAN, false);
    running_ = true;
    auto report_end = [this](const run_report& report) { engine_view_.run_ended(report); };
    if (!start_run(std::move(request), report_end)) {
        enable(m_stop, false);
        running_ = false;
        activity_ = L"The run could not be started.";
        allow_next();
    }
    update_status();
    return true;
}

// "Next" and File > Scan scan the chosen store, again as often as asked, while no run goes.
void CMorvaleDlg::allow_next() {
    bool usable = !running_ && !dbx_path.empty();
    enable(m_next, usable);
    set_menu_item(ID_FILE_SCAN, usable);
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

// The picker opens in the folder of the store chosen last, else where the last save went.
void CMorvaleDlg::OnBrowse() {
    CFileDialog dialog(TRUE, nullptr, L"", store_picker_flags,
                       L"Microsoft Outlook Express File (*dbx)|*.dbx;*.dbx|All files (*.*)|*.*||",
                       this, 0, TRUE);
    dialog.m_ofn.lpstrTitle = L"Select File...";
    std::wstring start = last_folder();
    if (!start.empty()) dialog.m_ofn.lpstrInitialDir = start.c_str();
    if (seams.run_file_dialog(dialog) != IDOK) return;
    dbx_path = dialog.GetPathName();
    SetDlgItemText(IDC_DBX_PATH, dbx_path);
    dbx_file_name = dialog.GetFileName();
    note_path(L"");
    allow_next();
}

// A store given on the command line, dropped on the window or typed: chosen as a pick in
// the file dialog would choose it.
void CMorvaleDlg::use_store(const std::wstring& path) {
    wchar_t full[32768] = {};
    DWORD length = GetFullPathNameW(path.c_str(), 32768, full, nullptr);
    dbx_path = length > 0 && length < 32768 ? std::wstring(full, length) : path;
    dbx_file_name = file_name_of(dbx_path);
    note_path(L"");
    allow_next();
}

// A typed or pasted path chooses the store once it names a file; while it names none, the
// line below the box says so and "Next" waits.
void CMorvaleDlg::OnPathEdited() {
    wchar_t typed[32768] = {};
    GetDlgItemTextW(m_hWnd, IDC_DBX_PATH, typed, 32768);
    std::wstring path = typed;
    if (path == dbx_path) return;  // (written there by a pick)
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
        path = path.substr(1, path.size() - 2);
    DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    if (path.empty() || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        dbx_path.clear();
        dbx_file_name.clear();
        note_path(path.empty() ? L""
                  : attributes == INVALID_FILE_ATTRIBUTES
                      ? L"There is no file by this name."
                      : L"This is a folder. Choose the store file (.dbx) in it.");
        allow_next();
        return;
    }
    use_store(path);
}

void CMorvaleDlg::note_path(const std::wstring& text) {
    SetDlgItemText(IDC_PATH_NOTE, text);
}

// The folder of the store chosen last, else of the rows listed, else where the last save went;
// before any in this session, the folder of the last store of the session before, else the
// user's documents (not the working folder, which is the program's own from the Start menu).
std::wstring CMorvaleDlg::last_folder() const {
    if (!dbx_path.empty()) return folder_of(dbx_path);
    if (!rows_store_.empty()) return folder_of(rows_store_);
    if (!save_folder.empty()) return save_folder;
    if (!kept_store_folder.empty()) return kept_store_folder;
    return documents_folder();
}

// The path is written into the box first, so a path that names no file says so there.
void CMorvaleDlg::open_store(const std::wstring& path) {
    SetDlgItemText(IDC_DBX_PATH, path);
    if (dbx_path.empty()) return;
    SetDlgItemText(IDC_DBX_PATH, dbx_path);
}

// A file dropped on the window: the first one.
LRESULT CMorvaleDlg::OnDropFiles(WPARAM drop, LPARAM) {
    auto files = reinterpret_cast<HDROP>(drop);
    UINT length = DragQueryFileW(files, 0, nullptr, 0);
    if (length > 0) {
        std::wstring path(length + 1, L'\0');
        DragQueryFileW(files, 0, path.data(), length + 1);
        path.resize(length);
        if ((GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0) open_store(path);
    }
    DragFinish(files);
    return 0;
}

void CMorvaleDlg::OnOpen() {
    OnBrowse();
}

// A stopped run leaves the rows it found and an empty bar; "Stop" has nothing left to stop.
void CMorvaleDlg::OnStop() {
    if (!stop_run()) return;
    engine_view_.reset_progress();
    take_rows();
    enable(m_stop, false);
    activity_ = L"Stopped";
    running_ = false;
    allow_next();
    update_status();
    update_preview();
}

void CMorvaleDlg::OnClose() {
    if (box(exit_question, L"Tavrin Morvale", question_box) == IDYES) end_dialog_now();
}

void CMorvaleDlg::OnExit() {
    if (box(exit_question, L"Tavrin Morvale", question_box) == IDYES) end_dialog_now();
}

// Esc: while a run goes, or while the list holds rows, it asks first, as File > Exit does;
// idle with an empty list, it closes at once.
void CMorvaleDlg::OnCancel() {
    if (run_in_progress() || list_.size() > 0) {
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
    if (choose_save_folder(m_hWnd)) begin_run(run_kind::save_all);
}

// Save selected: exactly the chosen rows' messages, in the chosen format, with the names,
// times and rules of a full save. The list stays as it is.
void CMorvaleDlg::save_selected(int mode) {
    std::vector<int> positions = list_.selected_positions();
    if (run_in_progress() || positions.empty()) {
        seams.beep(MB_ICONWARNING);
        return;
    }
    std::optional<chosen_messages> chosen =
        chosen_rows(m_hWnd, list_, positions, rows_store_, rows_store_file_name_);
    if (!chosen) return;
    check_format(mode);
    bool chosen_where =
        mode == 3 ? choose_pst_file(this, rows_store_file_name_) : choose_save_folder(m_hWnd);
    if (chosen_where) begin_run(run_kind::save_chosen, &*chosen);
}

void CMorvaleDlg::OnListSaveEml() {
    save_selected(1);
}

void CMorvaleDlg::OnListSaveMsg() {
    save_selected(2);
}

void CMorvaleDlg::OnListSavePst() {
    save_selected(3);
}

void CMorvaleDlg::OnListOpen() {
    open_message(list_.leading_chosen_row());
}

void CMorvaleDlg::OnListCopy() {
    list_.copy_chosen(m_hWnd);
}

void CMorvaleDlg::OnSelectAll() {
    list_.select_all();
    update_status();
}

// The list's context menu, at the mouse or, from the keyboard, at the focused row.
LRESULT CMorvaleDlg::OnContextMenu(WPARAM window, LPARAM point) {
    if (attachment_menu(reinterpret_cast<HWND>(window), point)) return 0;
    if (reinterpret_cast<HWND>(window) != m_message_list.m_hWnd) {
        Default();
        return 0;
    }
    POINT at{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    if (point == LPARAM(-1)) {
        RECT row{LVIR_BOUNDS, 0, 0, 0};
        int focused =
            static_cast<int>(m_message_list.SendMessage(LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
        if (focused < 0 ||
            !m_message_list.SendMessage(LVM_GETITEMRECT, focused, reinterpret_cast<LPARAM>(&row)))
            row = RECT{0, 0, 0, 0};
        at = {row.left + 8, row.bottom};
        ClientToScreen(m_message_list.m_hWnd, &at);
    }
    HMENU menus = LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_LIST_MENU));
    if (menus == nullptr) return 0;
    HMENU menu = GetSubMenu(menus, 0);
    bool usable = chosen_rows_usable();
    for (UINT id : {ID_LIST_OPEN, ID_LIST_SAVE_EML, ID_LIST_SAVE_MSG, ID_LIST_SAVE_PST})
        EnableMenuItem(menu, id, MF_BYCOMMAND | (usable ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(menu, ID_LIST_COPY,
                   MF_BYCOMMAND | (list_.selected_positions().empty() ? MF_GRAYED : MF_ENABLED));
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, m_hWnd, nullptr);
    DestroyMenu(menus);
    return 0;
}

// The folder the last save wrote, in the system's file manager.
void CMorvaleDlg::OnOpenFolder() {
    if (!saved_folder_.empty()) seams.shell_open(m_hWnd, L"open", saved_folder_, SW_SHOWNORMAL);
}

// Each message the last save could not save, and why.
void CMorvaleDlg::OnShowErrors() {
    show_save_failures(m_hWnd, failures_, saved_folder_);
}

void CMorvaleDlg::save_pst_command() {
    if (choose_pst_file(this, dbx_file_name)) begin_run(run_kind::save_all);
}

void CMorvaleDlg::OnSaveEmlClicked() {
    if (m_save_eml.GetCheck() != BST_CHECKED) return;
    save_button_on_ = true;
    update_save_commands();
    save_mode = 1;
}

void CMorvaleDlg::OnSaveMsgClicked() {
    if (m_save_msg.GetCheck() != BST_CHECKED) return;
    save_button_on_ = true;
    update_save_commands();
    save_mode = 2;
}

void CMorvaleDlg::OnSavePstClicked() {
    if (m_save_pst.GetCheck() != BST_CHECKED) return;
    save_button_on_ = true;
    update_save_commands();
    save_mode = 3;
}

void CMorvaleDlg::choose_format_and_save(int mode) {
    if (run_in_progress()) {
        seams.beep(MB_ICONWARNING);
        return;
    }
    check_format(mode);
    save_command();
}

// The format chosen from a menu is the one the choices show.
void CMorvaleDlg::check_format(int mode) {
    m_save_eml.SetCheck(mode == 1 ? BST_CHECKED : BST_UNCHECKED);
    m_save_msg.SetCheck(mode == 2 ? BST_CHECKED : BST_UNCHECKED);
    m_save_pst.SetCheck(mode == 3 ? BST_CHECKED : BST_UNCHECKED);
    save_mode = mode;
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
    bool decoded = !list_.decoded();
    CheckMenuItem(GetMenu(), ID_VIEW_DECODED_TEXT,
                  MF_BYCOMMAND | (decoded ? MF_CHECKED : MF_UNCHECKED));
    list_.show_decoded(decoded);
}

// F1 anywhere in the dialog.
LRESULT CMorvaleDlg::OnHelpKey(WPARAM, LPARAM) {
    open_help_file(m_hWnd);
    return TRUE;
}

// The UI thread's side of a run's end: "Stop" has nothing left to stop, and the status bar
// says what was done; a save says where, and what it could not save.
LRESULT CMorvaleDlg::OnRunEnded(WPARAM, LPARAM report_address) {
    const auto& report = *reinterpret_cast<const run_report*>(report_address);
    take_rows();
    enable(m_stop, false);
    if (!report.saving) {
        activity_ = L"Scanned " + file_name_of(run_store_);
        preview_->prepare(rows_store_);
    } else if (!report.folder_entered) {
        activity_ = report.file.empty()
                        ? L"Nothing was saved: " + report.folder + L" could not be made or entered"
                        : L"Nothing was saved: " + report.file + L" could not be written whole";
    } else {
        saved_folder_ = report.folder;
        failures_ = report.failures;
        activity_ = L"Saved into " + (report.file.empty() ? saved_folder_ : report.file);
        if (!failures_.empty())
            activity_ +=
                L"; " + counted(int(failures_.size()), L"message", L"messages") + L" not saved";
        ShowWindow(GetDlgItem(IDC_OPEN_FOLDER), SW_SHOW);
        ShowWindow(GetDlgItem(IDC_SHOW_ERRORS), failures_.empty() ? SW_HIDE : SW_SHOW);
    }
    if (rows_replaced_ && !run_keeps_rows_) rows_scan_ = report.scan;
    running_ = false;
    allow_next();
    update_status();
    previewed_row_ = -1;
    preview_pane_.say(L"");
    update_preview();
    if (!report.saving && list_.size() > 0) focus_list();
    return 0;
}

// After a scan the keyboard is in the list, on its focused row or else its first.
void CMorvaleDlg::focus_list() {
    SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_message_list.m_hWnd), TRUE);
    if (m_message_list.SendMessage(LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED) >= 0) return;
    LVITEMW state{};
    state.stateMask = state.state = LVIS_FOCUSED;
    m_message_list.SendMessage(LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
}

// The UI thread's side of the rows and the bar. A save of every message replaces the
// rows listed with its own when the first of them comes; a save of chosen ones leaves them.
// While a scan reads the store, the messages it finds are listed; the chains' rows replace
// them when they come.
void CMorvaleDlg::take_rows() {
    row_batch found = engine_view_.found_rows().take();
    row_batch batch = engine_view_.rows().take();
    if (run_keeps_rows_) found = batch = {};
    if (!found.rows.empty() && (list_.size() == 0 || list_.shown_found()))
        list_.add(std::move(found));
    if (!rows_replaced_ && !batch.rows.empty()) {
        list_.clear();
        rows_scan_.reset();
        rows_store_ = run_store_;
        rows_store_file_name_ = file_name_of(run_store_);
        rows_replaced_ = true;
    }
    list_.add(std::move(batch));
    int position = engine_view_.progress();
    if (m_progress.GetPos() != position) m_progress.SetPos(position);
    update_status();
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
    keep_view();
    KillTimer(m_hWnd, rows_timer);
    opened_.remove_files();
    Default();
    return 0;
}

LRESULT CMorvaleDlg::OnListCell(NMHDR* header) {
    list_.fill_cell(reinterpret_cast<NMLVDISPINFOW*>(header));
    return 0;
}

LRESULT CMorvaleDlg::OnListDraw(NMHDR* header) {
    return list_.custom_draw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
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

// Enter on the list: the chosen row the preview shows.
LRESULT CMorvaleDlg::OnListReturn(NMHDR*) {
    open_message(list_.leading_chosen_row());
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
    std::wstring file =
        opened_.write(rows_store_, list_.shown(position), list_.engine_index(position), error);
    SetCursor(previous);
    if (file.empty()) {
        box(error, L"Tavrin Morvale", warning_box);
        return;
    }
    open_in_program(file,
                    L"No program on this computer is registered to open e-mail messages (.eml "
                    L"files). The message is in\n");
}

// A file written for the user opens in the program registered for its kind; when there is
// none, the dialog says where the file is (`no_program`, then its path) and offers the
// system's "Open with".
void CMorvaleDlg::open_in_program(const std::wstring& file, const std::wstring& no_program) {
    if (seams.open_document(m_hWnd, file)) return;
    std::wstring question = no_program + file + L"\n\nChoose a program to open it with?";
    if (box(question, L"Tavrin Morvale", MB_ICONQUESTION | MB_YESNO) == IDYES)
        seams.open_with(m_hWnd, file);
}

// The attachments' context menu: Open and Save attachment..., for the row under the mouse
// (or the chosen row, from the keyboard). False for another window's menu.
bool CMorvaleDlg::attachment_menu(HWND window, LPARAM point) {
    HWND list = preview_pane_.attachments();
    if (window != list || list == nullptr) return false;
    POINT at{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    if (point == LPARAM(-1)) {
        RECT row{};
        int chosen = preview_pane_.chosen_attachment();
        if (chosen < 0 ||
            ::SendMessageW(list, LB_GETITEMRECT, chosen, reinterpret_cast<LPARAM>(&row)) == LB_ERR)
            row = RECT{0, 0, 0, 0};
        at = {row.left + 8, row.bottom};
        ClientToScreen(list, &at);
    } else {
        POINT inside = at;
        ScreenToClient(list, &inside);
        LRESULT hit = ::SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(inside.x, inside.y));
        if (HIWORD(hit) == 0) ::SendMessageW(list, LB_SETCURSEL, LOWORD(hit), 0);
    }
    HMENU menus = LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_ATTACHMENT_MENU));
    if (menus == nullptr) return true;
    HMENU menu = GetSubMenu(menus, 0);
    bool usable = preview_pane_.chosen_attachment() >= 0;
    for (UINT id : {ID_ATTACHMENT_OPEN, ID_ATTACHMENT_SAVE})
        EnableMenuItem(menu, id, MF_BYCOMMAND | (usable ? MF_ENABLED : MF_GRAYED));
    SetMenuDefaultItem(menu, ID_ATTACHMENT_OPEN, FALSE);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, m_hWnd, nullptr);
    DestroyMenu(menus);
    return true;
}

// The attachment chosen in the preview, or -1. While a run goes the store is the run's
// alone, so a command on an attachment is refused with a beep.
int CMorvaleDlg::usable_attachment() {
    int attachment = preview_pane_.chosen_attachment();
    if (attachment < 0 || previewed_row_ < 0) return -1;
    if (run_in_progress()) {
        seams.beep(MB_ICONWARNING);
        return -1;
    }
    return attachment;
}

// The chosen attachment of the previewed message opens in the program of its kind, from a
// temporary file of this run. A file that would run a program is opened only when the user
// says so.
void CMorvaleDlg::OnAttachmentOpen() {
    int attachment = usable_attachment();
    if (attachment < 0) return;
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    std::wstring error;
    std::wstring file = opened_.write_attachment(rows_store_, previewed_message_, previewed_row_,
                                                 size_t(attachment), error);
    SetCursor(previous);
    if (file.empty()) {
        box(error, L"Tavrin Morvale", warning_box);
        return;
    }
    if (runs_a_program(file) &&
        box(file_name_of(file) +
                L" is a program or script: opening it runs it on this computer. Open it only if "
                L"you trust the message it came with.\n\nOpen it?",
            L"Tavrin Morvale", MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2) != IDYES)
        return;
    open_in_program(file,
                    L"No program on this computer is registered to open files of this kind. The "
                    L"attachment is in\n");
}

// The chosen attachment is saved where the user picks, under the name it carries; the
// picker asks before a file that stands there is replaced, and the store is never replaced.
void CMorvaleDlg::OnAttachmentSave() {
    int attachment = usable_attachment();
    if (attachment < 0) return;
    std::wstring error;
    std::optional<attachment_file> file = opened_.read_attachment(
        rows_store_, previewed_message_, previewed_row_, size_t(attachment), error);
    if (!file) {
        box(error, L"Tavrin Morvale", warning_box);
        return;
    }
    std::wstring name = platform::widen_path(file->name.c_str());
    CFileDialog dialog(FALSE, nullptr, name.c_str(),
                       OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST,
                       L"All files (*.*)|*.*||", this, 0, TRUE);
    dialog.m_ofn.lpstrTitle = L"Save attachment";
    std::wstring start = save_picker_folder();
    if (!start.empty()) dialog.m_ofn.lpstrInitialDir = start.c_str();
    if (seams.run_file_dialog(dialog) != IDOK) return;
    std::wstring path = dialog.GetPathName();
    // The picker asked before a file that stands there was chosen: it may be replaced.
    platform::output_file::name_rules rules{
        platform::identity_of(platform::narrow_utf8(rows_store_.c_str()).c_str()),
        GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES};
    std::string target = platform::narrow_utf8(path.c_str());
    platform::output_file out;
    bool saved = out.reserve(target, platform::file_name_of(target)) && out.create() &&
                 std::fwrite(file->bytes.data(), 1, file->bytes.size(), out.stream()) ==
                     file->bytes.size() &&
                 out.close() && out.complete(&rules);
    if (!saved) {
        out.discard();
        box(L"The attachment could not be saved as " + path + L".", L"Tavrin Morvale", warning_box);
    }
}

// Resizing: the controls follow; the template's size is the smallest.
LRESULT CMorvaleDlg::OnSize(WPARAM, LPARAM) {
    layout_.apply();
    if (status_bar_ != nullptr) ::SendMessageW(status_bar_, WM_SIZE, 0, 0);
    place_preview();
    return 0;
}

void CMorvaleDlg::place_preview() {
    if (pane_.place()) update_preview();
}

// The splitter between the list and the preview follows the mouse that drags it.
LRESULT CMorvaleDlg::OnMouseDown(WPARAM, LPARAM point) {
    pane_.mouse_down(POINT{GET_X_LPARAM(point), GET_Y_LPARAM(point)});
    return 0;
}

LRESULT CMorvaleDlg::OnMouseMove(WPARAM, LPARAM point) {
    if (pane_.mouse_move(GET_X_LPARAM(point))) update_preview();
    return 0;
}

LRESULT CMorvaleDlg::OnMouseUp(WPARAM, LPARAM) {
    pane_.mouse_up();
    return 0;
}

LRESULT CMorvaleDlg::OnSetCursor(WPARAM window, LPARAM) {
    POINT at;
    GetCursorPos(&at);
    ScreenToClient(m_hWnd, &at);
    if (reinterpret_cast<HWND>(window) == m_hWnd && pane_.over_splitter(at)) {
        SetCursor(LoadCursorW(nullptr, IDC_SIZEWE));
        return TRUE;
    }
    Default();
    return FALSE;
}

// View > Preview: the pane beside the list, or the list alone.
void CMorvaleDlg::OnViewPreview() {
    pane_.set_on(!pane_.on());
    CheckMenuItem(GetMenu(), ID_VIEW_PREVIEW,
                  MF_BYCOMMAND | (pane_.on() ? MF_CHECKED : MF_UNCHECKED));
    layout_.apply();
    place_preview();
}

// A row's state that follows it to a new position after a sort changes nothing the user chose.
LRESULT CMorvaleDlg::OnListSelectionChanged(NMHDR* header) {
    if (list_.moving_choice()) return 0;
    list_.note_state_change(header);
    if (header->code == LVN_ITEMCHANGED) {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
        if (((change->uNewState ^ change->uOldState) & (LVIS_SELECTED | LVIS_FOCUSED)) == 0)
            return 0;
    }
    update_status();
    update_preview();
    return 0;
}

// The focused row's preview when it is chosen, else the first chosen row's. While a run
// goes the store is the run's, and the pane waits for its end.
void CMorvaleDlg::update_preview() {
    if (!pane_.shown() || running_) return;
    int position = list_.leading_chosen_row();
    if (position < 0 || position >= list_.size()) {
        previewed_row_ = -1;
        preview_pane_.say(L"");
        return;
    }
    int row = list_.engine_index(position);
    if (row == previewed_row_) return;
    previewed_row_ = row;
    previewed_message_ = list_.shown(position);
    preview_pane_.say(L"Reading the message...");
    preview_number_ = preview_->request(rows_store_, list_.shown(position), row);
}

LRESULT CMorvaleDlg::OnPreviewReady(WPARAM number, LPARAM) {
    if (number != preview_number_) return 0;
    std::optional<preview_parts> parts = preview_->take(number);
    if (parts) preview_pane_.show(*parts);
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
