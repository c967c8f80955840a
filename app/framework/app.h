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

    // Names the registry key the settings go under:
    // HKEY_CURRENT_USER\Software\<key>\<profile name>\<section>. Without one, settings are
    // neither read nor written.
    void SetRegistryKey(const wchar_t* key);

    // A setting of the user's: its value, or `fallback` when none is stored.
    UINT GetProfileInt(const wchar_t* section, const wchar_t* entry, int fallback) const;
    bool WriteProfileInt(const wchar_t* section, const wchar_t* entry, int value) const;
    // A setting of several bytes; empty when none is stored.
    std::string GetProfileBinary(const wchar_t* section, const wchar_t* entry) const;
    bool WriteProfileBinary(const wchar_t* section, const wchar_t* entry,
                            const std::string& bytes) const;
    // A setting of text; `fallback` when none is stored.
    std::wstring GetProfileString(const wchar_t* section, const wchar_t* entry,
                                  const wchar_t* fallback = L"") const;
    bool WriteProfileString(const wchar_t* section, const wchar_t* entry,
                            const std::wstring& text) const;

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    std::wstring m_pszAppName;
    std::wstring m_pszRegistryKey;
    std::wstring m_pszProfileName;  // the application's name unless set

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
