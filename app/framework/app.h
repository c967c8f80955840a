#pragma once
// CWinApp: the one application object. The framework's entry point finds it, calls its
// instance initialisation and, when that returns true, runs its message loop.

#include <windows.h>

#include <string>

#include "app/framework/window.h"

class CWinApp : public CCmdTarget {
  public:
    explicit CWinApp(const wchar_t* app_name = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int Run();
    virtual int ExitInstance() { return 0; }

    // Names the registry key settings would go under; nothing is stored there.
    void SetRegistryKey(const wchar_t* key) { m_pszRegistryKey = key; }

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    std::wstring m_pszAppName;
    std::wstring m_pszRegistryKey;

  protected:
    // The standard help command: there is no framework help file, so it does nothing.
    void OnHelp() {}

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
// The module holding the resources: the application's, or the running program's.
HINSTANCE AfxGetResourceHandle();
// Dialogs here hold no ActiveX controls; kept so start-up reads as the framework's.
inline void AfxEnableControlContainer() {}

// The framework's standard help command id.
constexpr UINT ID_HELP = 0xE146;
