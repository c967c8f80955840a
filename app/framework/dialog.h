#pragma once
// CDialog: a dialog made from a template in the program's resources and run modally.
// One dialog procedure serves every dialog: it binds the object to its window at
// WM_INITDIALOG and hands each message to the object's message map.

#include "app/framework/window.h"

class CDialog;

// The binding step of data exchange: controls are attached to members by id.
struct CDataExchange {
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
  public:
    explicit CDialog(UINT template_id, CWnd* parent = nullptr);

    // Runs the dialog until EndDialog; returns its result, or -1 when it cannot be made.
    virtual INT_PTR DoModal();
    void EndDialog(int result);

  protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX) {}
    BOOL UpdateData(BOOL save_and_validate = TRUE);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Leaves the message being handled to the dialog manager's default processing.
    void Default() { default_requested_ = true; }

    DECLARE_MESSAGE_MAP()

  private:
    static INT_PTR CALLBACK dialog_procedure(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam);
    INT_PTR handle_message(UINT message, WPARAM wparam, LPARAM lparam);

    UINT template_id_;
    CWnd* parent_;
    bool default_requested_ = false;
};
