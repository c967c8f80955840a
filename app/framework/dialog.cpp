#include "app/framework/dialog.h"

#include "app/framework/app.h"

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (control.m_hWnd == nullptr) control.Attach(pDX->m_pDlgWnd->GetDlgItem(id));
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT template_id, CWnd* parent) : template_id_(template_id), parent_(parent) {}

INT_PTR CDialog::DoModal() {
    // Without a parent the dialog belongs to the application's main window (or the window
    // active on this thread), which stays disabled while it runs.
    HWND owner = parent_ != nullptr ? parent_->m_hWnd : nullptr;
    if (owner == nullptr && AfxGetApp() != nullptr && AfxGetApp()->m_pMainWnd != nullptr) {
        owner = AfxGetApp()->m_pMainWnd->m_hWnd;
    }
    if (owner == nullptr) owner = GetActiveWindow();
    INT_PTR result = DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(template_id_), owner,
                                     dialog_procedure, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

void CDialog::EndDialog(int result) {
    ::EndDialog(m_hWnd, result);
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL save_and_validate) {
    CDataExchange exchange{this, save_and_validate};
    DoDataExchange(&exchange);
    return TRUE;
}

INT_PTR CALLBACK CDialog::dialog_procedure(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA, lparam);
        dialog->m_hWnd = window;
        return dialog->OnInitDialog();
    }
    // Messages that come before WM_INITDIALOG (WM_SETFONT) find no object yet.
    auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (dialog == nullptr) return FALSE;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        return FALSE;
    }
    return dialog->handle_message(message, wparam, lparam);
}

INT_PTR CDialog::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    default_requested_ = false;
    LRESULT result = 0;
    bool handled = DispatchMessageMap(message, wparam, lparam, &result);
    // A command no window handles goes on to the application object, as menus do.
    if (!handled && message == WM_COMMAND && AfxGetApp() != nullptr) {
        handled = AfxGetApp()->DispatchMessageMap(message, wparam, lparam, &result);
    }
    if (!handled || default_requested_) return FALSE;
    // WM_QUERYDRAGICON is one of the few messages whose answer a dialog procedure returns
    // directly; the others go through DWLP_MSGRESULT.
    if (message == WM_QUERYDRAGICON) return static_cast<INT_PTR>(result);
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}
