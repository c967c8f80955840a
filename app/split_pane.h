#pragma once
// The place the message list shares with the preview: the preview takes its right part
// when the window is wide enough, beside a splitter the mouse can move; the list keeps the
// whole place otherwise.

#include <windows.h>

#include <functional>

class split_pane {
  public:
    // The dialog, its list and the preview pane; once the dialog is made. A pane of several
    // controls is placed by `place_pane` (given the place, or null to hide it); `pane` is the
    // one of them that spans its width.
    void attach(HWND dialog, HWND list, HWND pane,
                std::function<void(const RECT* area)> place_pane = {});

    // View > Preview, and the list's share of the width the two split.
    bool on() const { return on_; }
    void set_on(bool on) { on_ = on; }
    double split() const { return split_; }
    void set_split(double split) { split_ = split; }

    // Places the list and the pane for the present size; true when the pane has just come
    // into sight (it then wants its text).
    bool place();
    // True while the pane is asked for and in sight.
    bool shown() const;
    // True when the point of the dialog's client area lies on the splitter in sight.
    bool over_splitter(POINT at) const;

    // The mouse, in the dialog's client coordinates: a press on the splitter starts a drag
    // (true), a move while dragging moves it (true when placed anew: see place()), a
    // release ends it.
    bool mouse_down(POINT at);
    bool mouse_move(int x);
    void mouse_up();

  private:
    RECT splitter_rect() const;

    HWND dialog_ = nullptr;
    HWND list_ = nullptr;
    HWND pane_ = nullptr;
    std::function<void(const RECT*)> place_pane_;
    bool on_ = true;
    double split_ = 0.5;
    bool dragging_ = false;
    RECT area_{};  // the place the list and the preview share
};
