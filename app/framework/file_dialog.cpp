#include "app/framework/file_dialog.h"

#include "app/framework/window.h"

// Room for many names when several files may be picked.
static constexpr size_t file_buffer_size = 32768;

CFileDialog::CFileDialog(BOOL open_file_dialog, const wchar_t* default_extension,
                         const wchar_t* file_name, DWORD flags, const wchar_t* filter, CWnd* parent,
                         DWORD size, BOOL vista_style)
    : m_bOpenFileDialog(open_file_dialog),
      m_bVistaStyle(vista_style),
      file_buffer_(file_buffer_size, L'\0') {
    if (filter != nullptr) {
        filter_ = filter;
        for (wchar_t& c : filter_) {
            if (c == L'|') c = L'\0';
        }
    }
    if (default_extension != nullptr) default_extension_ = default_extension;
    if (file_name != nullptr)
        lstrcpynW(file_buffer_.data(), file_name, static_cast<int>(file_buffer_.size()));

    m_ofn.lStructSize = sizeof(m_ofn);
    m_ofn.hwndOwner = parent != nullptr ? parent->m_hWnd : nullptr;
    m_ofn.lpstrFilter = filter_.empty() ? nullptr : filter_.c_str();
    m_ofn.nFilterIndex = 1;
    m_ofn.lpstrFile = file_buffer_.data();
    m_ofn.nMaxFile = static_cast<DWORD>(file_buffer_.size());
    m_ofn.lpstrDefExt = default_extension_.empty() ? nullptr : default_extension_.c_str();
    // The Explorer-style dialog; without a hook or template newer systems show their
    // newer dialog in its place.
    m_ofn.Flags = flags | OFN_EXPLORER | OFN_ENABLESIZING;
}

INT_PTR CFileDialog::DoModal() {
    BOOL picked = m_bOpenFileDialog ? GetOpenFileNameW(&m_ofn) : GetSaveFileNameW(&m_ofn);
    return picked ? IDOK : IDCANCEL;
}

// With several files picked the buffer holds the folder, then each name, each ended by a
// NUL, and an empty string last; with one file it holds the full path alone.
std::wstring CFileDialog::GetPathName() const {
    const wchar_t* first = m_ofn.lpstrFile;
    std::wstring path = first;
    const wchar_t* second = first + path.size() + 1;
    if ((m_ofn.Flags & OFN_ALLOWMULTISELECT) == 0 || *second == L'\0') return path;
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path + second;
}

std::wstring CFileDialog::GetFileName() const {
    std::wstring path = GetPathName();
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}
