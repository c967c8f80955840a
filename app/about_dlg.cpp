#include "app/about_dlg.h"

#include "app/pictures.h"
#include "app/resource.h"

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

CAboutDlg::~CAboutDlg() {
    if (picture_ != nullptr) DeleteObject(picture_);
}

// The picture drawn for the display's scale replaces the one the template names.
BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    picture_ = load_picture(IDB_ABOUT_PICTURE, m_hWnd);
    if (picture_ != nullptr) {
        SendDlgItemMessageW(m_hWnd, IDC_ABOUT_PICTURE, STM_SETIMAGE, IMAGE_BITMAP,
                            reinterpret_cast<LPARAM>(picture_));
    }
    return TRUE;
}
