#pragma once
// The about box: a picture and the version line. It has no button; Esc or the close box
// end it.

#include <windows.h>

#include "app/framework/dialog.h"

class CAboutDlg : public CDialog {
  public:
    CAboutDlg();
    ~CAboutDlg() override;

  protected:
    BOOL OnInitDialog() override;

    DECLARE_MESSAGE_MAP()

  private:
    HBITMAP picture_ = nullptr;
};
