#include "app/morvale_app.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/morvale_dlg.h"
#include "app/worker.h"

// The one application object; the framework's entry point finds it.
CMorvaleApp theApp;

BEGIN_MESSAGE_MAP(CMorvaleApp, CWinApp)
ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CMorvaleApp::CMorvaleApp() : CWinApp(nullptr) {}

BOOL CMorvaleApp::InitInstance() {
    INITCOMMONCONTROLSEX classes{8, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&classes);
    CWinApp::InitInstance();
    AfxEnableControlContainer();
    // The user's settings go under HKEY_CURRENT_USER\Software\Tavrin Morvale\Morvale.
    SetRegistryKey(L"Tavrin Morvale");
    {
        CMorvaleDlg dialog;
        // "Morvale.exe STORE" opens with that store chosen.
        int count = 0;
        if (LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count)) {
            if (count >= 2) dialog.choose_store_at_start(arguments[1]);
            LocalFree(arguments);
        }
        m_pMainWnd = &dialog;
        dialog.DoModal();
        // A run still going is abandoned; it stops at its next checkpoint, so no file is
        // left half written. One that does not get there in time ends with the process,
        // before the dialog it reports to is gone.
        if (!abandon_run_for_exit(5000)) ExitProcess(0);
        m_pMainWnd = nullptr;
    }
    return FALSE;
}
