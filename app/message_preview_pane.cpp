#include "app/message_preview_pane.h"

#include <commctrl.h>

#include <algorithm>

#include "app/pictures.h"
#include "app/resource.h"

namespace {

// The most rows the attachments' list takes before it scrolls.
constexpr int attachment_rows_in_sight = 3;

int line_height(HWND control) {
    HDC dc = GetDC(control);
    HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return metrics.tmHeight;
}

// The height of a control's frame, top and bottom together.
int frame_height(HWND control) {
    RECT window, client;
    GetWindowRect(control, &window);
    GetClientRect(control, &client);
    return (window.bottom - window.top) - (client.bottom - client.top);
}

// Enter on an attachment opens it, as a double-click does: the list asks for the key, which
// the dialog would otherwise take for its default button.
LRESULT CALLBACK attachments_want_enter(HWND list, UINT message, WPARAM wparam, LPARAM lparam,
                                        UINT_PTR, DWORD_PTR) {
    if (message == WM_GETDLGCODE && lparam != 0) {
        const auto* key = reinterpret_cast<const MSG*>(lparam);
        if (key->message == WM_KEYDOWN && key->wParam == VK_RETURN) return DLGC_WANTMESSAGE;
    }
    if (message == WM_KEYDOWN && wparam == VK_RETURN) {
        SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(ID_ATTACHMENT_OPEN, 0), 0);
        return 0;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(list, attachments_want_enter, 0);
    return DefSubclassProc(list, message, wparam, lparam);
}

}  // namespace

void message_preview_pane::attach(HWND header, HWND attachments, HWND body) {
    header_ = header;
    attachments_ = attachments;
    body_ = body;
    SetWindowSubclass(attachments_, attachments_want_enter, 0, 0);
}

void message_preview_pane::show(const preview_parts& parts) {
    SetWindowTextW(header_, parts.header.c_str());
    header_lines_ = parts.header.empty()
                        ? 0
                        : 1 + int(std::count(parts.header.begin(), parts.header.end(), L'\n'));
    SendMessageW(attachments_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(attachments_, LB_RESETCONTENT, 0, 0);
    for (const std::wstring& name : parts.attachments)
        SendMessageW(attachments_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    SendMessageW(attachments_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(attachments_, nullptr, TRUE);
    attachment_count_ = int(parts.attachments.size());
    SetWindowTextW(body_, parts.body.c_str());
    arrange();
}

void message_preview_pane::say(const std::wstring& text) {
    show({L"", {}, text});
}

void message_preview_pane::place(const RECT* area) {
    shown_ = area != nullptr;
    if (area != nullptr) area_ = *area;
    arrange();
}

int message_preview_pane::chosen_attachment() const {
    return int(SendMessageW(attachments_, LB_GETCURSEL, 0, 0));
}

// Top to bottom: the header as tall as its lines, the attachments as tall as their rows
// (three at most), the body in the rest.
void message_preview_pane::arrange() {
    if (body_ == nullptr) return;
    if (!shown_) {
        for (HWND control : {header_, attachments_, body_}) ShowWindow(control, SW_HIDE);
        return;
    }
    int gap = MulDiv(3, int(window_dpi(body_)), 96);
    int top = area_.top, width = area_.right - area_.left;
    int header_height =
        header_lines_ == 0 ? 0 : header_lines_ * line_height(header_) + frame_height(header_) + gap;
    header_height = std::min<int>(header_height, (area_.bottom - top) / 2);
    if (header_height > 0) MoveWindow(header_, area_.left, top, width, header_height, TRUE);
    ShowWindow(header_, header_height > 0 ? SW_SHOWNA : SW_HIDE);
    top += header_height > 0 ? header_height + gap : 0;
    int rows = std::min(attachment_count_, attachment_rows_in_sight);
    int list_height = rows == 0 ? 0
                                : rows * int(SendMessageW(attachments_, LB_GETITEMHEIGHT, 0, 0)) +
                                      frame_height(attachments_);
    list_height = std::min<int>(list_height, (area_.bottom - top) / 2);
    if (list_height > 0) MoveWindow(attachments_, area_.left, top, width, list_height, TRUE);
    ShowWindow(attachments_, list_height > 0 ? SW_SHOWNA : SW_HIDE);
    top += list_height > 0 ? list_height + gap : 0;
    MoveWindow(body_, area_.left, top, width, std::max<int>(area_.bottom - top, 0), TRUE);
    ShowWindow(body_, SW_SHOWNA);
}
