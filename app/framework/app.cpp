#include "app/framework/app.h"

static CWinApp* the_application = nullptr;

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(const wchar_t* app_name) {
    if (app_name != nullptr) m_pszAppName = app_name;
    the_application = this;
}

CWinApp::~CWinApp() {
    if (the_application == this) the_application = nullptr;
}

int CWinApp::Run() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return ExitInstance();
}

CWinApp* AfxGetApp() {
    return the_application;
}

HINSTANCE AfxGetResourceHandle() {
    if (the_application != nullptr && the_application->m_hInstance != nullptr)
        return the_application->m_hInstance;
    return GetModuleHandleW(nullptr);
}
