#pragma once
// The application: runs the main dialog once and ends with it.

#include "app/framework/app.h"

class CMorvaleApp : public CWinApp {
  public:
    CMorvaleApp();
    BOOL InitInstance() override;

  protected:
    DECLARE_MESSAGE_MAP()
};
