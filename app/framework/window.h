#pragma once
// CCmdTarget (an object with a message map) and CWnd (a window handle with the calls the
// shell makes on it). Window objects are not copyable: the dialog procedure keeps a
// pointer to them in the window.

#include <windows.h>

#include <string>

#include "app/framework/message_map.h"

class CCmdTarget {
  public:
    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget() = default;

    // Runs the handler of a message from this object's map; false when it has none.
    bool DispatchMessageMap(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);

  protected:
    static const framework::message_map* GetThisMessageMap();
    virtual const framework::message_map* GetMessageMap() const;
};

class CWnd : public CCmdTarget {
  public:
    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    void Attach(HWND window) { m_hWnd = window; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void SetDlgItemText(int id, const std::wstring& text) {
        ::SetDlgItemTextW(m_hWnd, id, text.c_str());
    }
    HMENU GetMenu() const { return ::GetMenu(m_hWnd); }
    HMENU GetSystemMenu(BOOL revert) const { return ::GetSystemMenu(m_hWnd, revert); }
    HICON SetIcon(HICON icon, BOOL big);
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    // Always SendMessageW: from another thread the call runs on the window's own thread.
    LRESULT SendMessage(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const {
        return ::SendMessageW(m_hWnd, message, wparam, lparam);
    }

  protected:
    static const framework::message_map* GetThisMessageMap();
    const framework::message_map* GetMessageMap() const override;
};

// The device context of a paint message, released when it goes.
class CPaintDC {
  public:
    explicit CPaintDC(CWnd* window) : window_(window->m_hWnd) {
        m_hDC = BeginPaint(window_, &paint_);
    }
    ~CPaintDC() { EndPaint(window_, &paint_); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    HDC GetSafeHdc() const { return m_hDC; }
    void DrawIcon(int x, int y, HICON icon) { ::DrawIcon(m_hDC, x, y, icon); }
    HDC m_hDC;

  private:
    HWND window_;
    PAINTSTRUCT paint_;
};
