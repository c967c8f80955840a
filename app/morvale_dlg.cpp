#include "app/morvale_dlg.h"

#include <io.h>
#include <shlobj.h>

#include "app/about_dlg.h"
#include "app/framework/app.h"
#include "app/framework/file_dialog.h"
#include "app/help.h"
#include "app/resource.h"
#include "app/shell_seams.h"
#include "app/worker.h"
#include "engine/engine.h"
#include "platform/text.h"

std::wstring dbx_path;
std::wstring dbx_file_name;
std::wstring save_folder;

namespace {

const wchar_t* const no_folder_text =
    L"Saving path doesn't exist, please select another path for saving.";

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
ON_COMMAND(ID_FILE_OPEN_STORE, OnOpen)
ON_COMMAND(ID_FILE_SCAN, OnScan)
ON_COMMAND(ID_FILE_SAVE_EML, OnSaveEmlMenu)
ON_COMMAND(ID_FILE_SAVE_MSG, OnSaveMsgMenu)
ON_COMMAND(ID_HELP_CONTENT, OnHelpContent)
END_MESSAGE_MAP()

CMorvaleDlg::CMorvaleDlg(CWnd* parent)
    : CDialog(IDD_MORVALE_DIALOG, parent),
      m_hIcon(LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

void CMorvaleDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_MESSAGE_LIST, m_message_list);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
    DDX_Control(pDX, IDC_SAVE_EML, m_save_eml);
    DDX_Control(pDX, IDC_SAVE_MSG, m_save_msg);
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
    m_message_list.SetExtendedStyle(LVS_EX_GRIDLINES);
    m_save_msg.EnableWindow(FALSE);
    m_save_eml.EnableWindow(FALSE);
    m_save.EnableWindow(FALSE);
    m_next.EnableWindow(FALSE);
    m_stop.EnableWindow(FALSE);
    set_menu_item(ID_FILE_SCAN, false);
    set_menu_item(ID_FILE_SAVE_EML, false);
    set_menu_item(ID_FILE_SAVE_MSG, false);
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

// A start while a run goes is refused and changes nothing: runs must not overlap. A
// "Next" that arrives while the button is disabled (the Enter key) is ignored as well.
void CMorvaleDlg::OnNext() {
    if (run_in_progress() || !m_next.IsWindowEnabled()) return;
    m_stop.EnableWindow(TRUE);
    start_run();
    m_save_eml.EnableWindow(TRUE);
    m_save_msg.EnableWindow(TRUE);
    m_next.EnableWindow(FALSE);
    set_menu_item(ID_FILE_SCAN, false);
    set_menu_item(ID_FILE_SAVE_EML, true);
    set_menu_item(ID_FILE_SAVE_MSG, true);
}

void CMorvaleDlg::OnScan() {
    OnNext();
}

void CMorvaleDlg::OnBrowse() {
    CFileDialog dialog(TRUE, nullptr, L"", 518,
                       L"Microsoft Outlook Express File (*dbx)|*.dbx;*.dbx||", this, 0, TRUE);
    dialog.m_ofn.lpstrTitle = L"Select File...";
    if (seams.run_file_dialog(dialog) != IDOK) return;
    dbx_path = dialog.GetPathName();
    SetDlgItemText(IDC_DBX_PATH, dbx_path);
    dbx_file_name = dialog.GetFileName();
    m_next.EnableWindow(TRUE);
    set_menu_item(ID_FILE_SCAN, true);
}

void CMorvaleDlg::OnOpen() {
    OnBrowse();
}

void CMorvaleDlg::OnStop() {
    stop_run();
}

void CMorvaleDlg::OnClose() {
    if (box(L"Do you want to Exit ?       ", L"Tavrin Morvale", 4132) == IDYES) Default();
}

void CMorvaleDlg::OnExit() {
    if (box(L"Do you want to Exit ?       ", L"Tavrin Morvale", 4132) == IDYES) OnCancel();
}

void CMorvaleDlg::OnSave() {
    if (run_in_progress()) return;
    save_command();
}

void CMorvaleDlg::save_command() {
    std::optional<std::wstring> folder = seams.browse_for_folder(
        m_hWnd, L"Select the Path to Save Recovered Contacts File", BIF_RETURNONLYFSDIRS);
    if (!folder) return;
    save_folder = *folder;
    if (save_folder.empty()) {
        box(no_folder_text, L"Tavrin for Morvale", 4160);
        return;
    }
    if (_waccess(save_folder.c_str(), 0) != 0) {
        box(no_folder_text, L"Tavrin for Morvale", 64);
        return;
    }
    start_run();
}

void CMorvaleDlg::OnSaveEmlClicked() {
    if (m_save_eml.GetCheck() != BST_CHECKED) return;
    m_save.EnableWindow(TRUE);
    save_mode = 1;
}

void CMorvaleDlg::OnSaveMsgClicked() {
    if (m_save_msg.GetCheck() != BST_CHECKED) return;
    m_save.EnableWindow(TRUE);
    save_mode = 2;
}

void CMorvaleDlg::choose_format_and_save(int mode) {
    if (run_in_progress()) return;
    m_save_eml.SetCheck(mode == 1 ? BST_CHECKED : BST_UNCHECKED);
    m_save_msg.SetCheck(mode == 2 ? BST_CHECKED : BST_UNCHECKED);
    save_mode = mode;
    save_command();
}

void CMorvaleDlg::OnSaveEmlMenu() {
    choose_format_and_save(1);
}

void CMorvaleDlg::OnSaveMsgMenu() {
    choose_format_and_save(2);
}

void CMorvaleDlg::OnAbout() {
    CAboutDlg about;
    about.DoModal();
}

void CMorvaleDlg::OnHelpContent() {
    open_help_file();
}

// The engine's view. An abandoned run's calls go nowhere: it touches the dialog no more.
int CMorvaleDlg::item_count() {
    return m_message_list.GetItemCount();
}

void CMorvaleDlg::insert_item(int index) {
    if (worker_run_abandoned()) return;
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(L"");
    item.iImage = 1;
    m_message_list.InsertItem(&item);
}

void CMorvaleDlg::set_item_text(int item, int subitem, const std::u16string& text) {
    if (worker_run_abandoned()) return;
    std::wstring wide(text.begin(), text.end());
    m_message_list.SetItemText(item, subitem, wide.c_str());
}

void CMorvaleDlg::set_progress(int position) {
    if (worker_run_abandoned()) return;
    m_progress.SetPos(position);
}

int CMorvaleDlg::message_box(const std::string& text, const std::string& title, unsigned flags) {
    if (worker_run_abandoned()) return IDCANCEL;
    return box(widen(text), widen(title), flags);
}

bool CMorvaleDlg::checkpoint() {
    return worker_checkpoint();
}
