#pragma once
// The about box: a picture and the version line. It has no button; Esc or the close box
// end it.

#include "app/framework/dialog.h"

class CAboutDlg : public CDialog {
  public:
    CAboutDlg();

  protected:
    DECLARE_MESSAGE_MAP()
};
