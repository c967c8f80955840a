#pragma once
// The preview pane's controls: the header lines on top, kept in sight; below them the list
// of attachments, when the message has any; and the body, which takes the rest and
// scrolls.

#include <windows.h>

#include <string>

#include "app/message_preview.h"

class message_preview_pane {
  public:
    // The dialog's controls, once it is made.
    void attach(HWND header, HWND attachments, HWND body);

    // A message's preview, or a word in place of one (the body says it, the rest is empty).
    void show(const preview_parts& parts);
    void say(const std::wstring& text);

    // Places the controls in `area` (the dialog's client coordinates) and shows them, or
    // hides them when `area` is null.
    void place(const RECT* area);

    // The attachment chosen in the list, or -1.
    int chosen_attachment() const;
    HWND attachments() const { return attachments_; }

  private:
    void arrange();

    HWND header_ = nullptr;
    HWND attachments_ = nullptr;
    HWND body_ = nullptr;
    int header_lines_ = 0;
    int attachment_count_ = 0;
    bool shown_ = false;
    RECT area_{};
};
