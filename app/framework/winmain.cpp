// The program's entry point: hands over to the global application object.
#include <windows.h>

#include <filesystem>

#include "app/framework/app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return 1;
    app->m_hInstance = instance;
    // With no name given, the application is named after its program file.
    if (app->m_pszAppName.empty()) {
        wchar_t module[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, module, MAX_PATH);
        app->m_pszAppName = std::filesystem::path(module).stem().wstring();
    }
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}
