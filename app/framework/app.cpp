#include "app/framework/app.h"

#include <cstring>
#include <cwchar>
#include <optional>

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

void CWinApp::SetRegistryKey(const wchar_t* key) {
    m_pszRegistryKey = key;
    if (m_pszProfileName.empty()) m_pszProfileName = m_pszAppName;
}

namespace {

// The section's key, opened (and, for writing, made); null without a registry key.
HKEY section_key(const CWinApp& app, const wchar_t* section, bool writing) {
    if (app.m_pszRegistryKey.empty() || app.m_pszProfileName.empty()) return nullptr;
    std::wstring path =
        L"Software\\" + app.m_pszRegistryKey + L"\\" + app.m_pszProfileName + L"\\" + section;
    HKEY key = nullptr;
    LONG result = writing
                      ? RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                        KEY_SET_VALUE, nullptr, &key, nullptr)
                      : RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key);
    return result == ERROR_SUCCESS ? key : nullptr;
}

// The value's bytes when it is of the type asked for.
std::optional<std::string> read_value(const CWinApp& app, const wchar_t* section,
                                      const wchar_t* entry, DWORD wanted) {
    HKEY key = section_key(app, section, false);
    if (key == nullptr) return std::nullopt;
    DWORD type = 0, size = 0;
    std::optional<std::string> value;
    if (RegQueryValueExW(key, entry, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == wanted) {
        std::string bytes(size, '\0');
        if (RegQueryValueExW(key, entry, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()),
                             &size) == ERROR_SUCCESS) {
            bytes.resize(size);
            value = std::move(bytes);
        }
    }
    RegCloseKey(key);
    return value;
}

bool write_value(const CWinApp& app, const wchar_t* section, const wchar_t* entry, DWORD type,
                 const void* bytes, size_t size) {
    HKEY key = section_key(app, section, true);
    if (key == nullptr) return false;
    bool written = RegSetValueExW(key, entry, 0, type, static_cast<const BYTE*>(bytes),
                                  static_cast<DWORD>(size)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

}  // namespace

UINT CWinApp::GetProfileInt(const wchar_t* section, const wchar_t* entry, int fallback) const {
    std::optional<std::string> value = read_value(*this, section, entry, REG_DWORD);
    if (!value || value->size() != sizeof(DWORD)) return static_cast<UINT>(fallback);
    DWORD number = 0;
    std::memcpy(&number, value->data(), sizeof number);
    return number;
}

bool CWinApp::WriteProfileInt(const wchar_t* section, const wchar_t* entry, int value) const {
    DWORD number = static_cast<DWORD>(value);
    return write_value(*this, section, entry, REG_DWORD, &number, sizeof number);
}

std::string CWinApp::GetProfileBinary(const wchar_t* section, const wchar_t* entry) const {
    return read_value(*this, section, entry, REG_BINARY).value_or(std::string());
}

bool CWinApp::WriteProfileBinary(const wchar_t* section, const wchar_t* entry,
                                 const std::string& bytes) const {
    return write_value(*this, section, entry, REG_BINARY, bytes.data(), bytes.size());
}

std::wstring CWinApp::GetProfileString(const wchar_t* section, const wchar_t* entry,
                                       const wchar_t* fallback) const {
    std::optional<std::string> value = read_value(*this, section, entry, REG_SZ);
    if (!value) return fallback;
    std::wstring text(value->size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), value->data(), text.size() * sizeof(wchar_t));
    // The stored value ends with its NUL, or should: the text stops at the first.
    text.resize(std::wcslen(text.c_str()));
    return text;
}

bool CWinApp::WriteProfileString(const wchar_t* section, const wchar_t* entry,
                                 const std::wstring& text) const {
    return write_value(*this, section, entry, REG_SZ, text.c_str(),
                       (text.size() + 1) * sizeof(wchar_t));
}
