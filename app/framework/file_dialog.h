#pragma once
// CFileDialog: the system's open-file dialog. Filters are written with '|' between the
// parts, ending in "||". When several files are picked, the first one is taken.

// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commdlg.h>
// clang-format on

#include <string>
#include <vector>

class CWnd;

class CFileDialog {
  public:
    CFileDialog(BOOL open_file_dialog, const wchar_t* default_extension = nullptr,
                const wchar_t* file_name = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                const wchar_t* filter = nullptr, CWnd* parent = nullptr, DWORD size = 0,
                BOOL vista_style = TRUE);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;
    virtual ~CFileDialog() = default;

    virtual INT_PTR DoModal();
    // The full path and the bare file name of the (first) file picked.
    std::wstring GetPathName() const;
    std::wstring GetFileName() const;
    // The filter as the system takes it: the parts separated by NULs.
    const std::wstring& filter() const { return filter_; }

    OPENFILENAMEW m_ofn{};
    BOOL m_bOpenFileDialog;
    BOOL m_bVistaStyle;

  private:
    std::wstring filter_;
    std::wstring default_extension_;
    std::vector<wchar_t> file_buffer_;
};
