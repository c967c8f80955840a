#pragma once
// A tip over one cell of a report list: when the mouse rests on a cell, the tip shows the
// text its owner gives for that cell (none: no tip); it goes when the mouse moves to
// another cell or leaves the list.

// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <functional>
#include <optional>
#include <string>

class cell_tip {
  public:
    using text_of = std::function<std::optional<std::wstring>(int row, int column)>;

    cell_tip() = default;
    cell_tip(const cell_tip&) = delete;
    cell_tip& operator=(const cell_tip&) = delete;
    ~cell_tip();

    // Watches the list's mouse; call once the list is made.
    void attach(HWND list, text_of text);
    // The tip window (for tests and the screenshot): shown or hidden, it holds the last text.
    HWND window() const { return tip_; }

  private:
    static LRESULT CALLBACK watch(HWND list, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                  DWORD_PTR self);
    void hover(POINT at);
    void hide();
    void arm();

    HWND list_ = nullptr;
    HWND tip_ = nullptr;
    text_of text_;
    std::wstring shown_;
    std::pair<int, int> cell_{-1, -1};  // the cell the tip is for
    bool armed_ = false;                // a hover is being watched for
};
