#include "app/framework/window.h"

const framework::message_map* CCmdTarget::GetThisMessageMap() {
    static const framework::message_entry none[] = {{0, 0, 0, nullptr}};
    static const framework::message_map map = {nullptr, none};
    return &map;
}

const framework::message_map* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

bool CCmdTarget::DispatchMessageMap(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    const framework::message_entry* entry =
        framework::find_entry(GetMessageMap(), message, wparam, lparam);
    if (entry == nullptr) return false;
    *result = entry->thunk(this, wparam, lparam);
    return true;
}

const framework::message_map* CWnd::GetThisMessageMap() {
    return CCmdTarget::GetThisMessageMap();
}

const framework::message_map* CWnd::GetMessageMap() const {
    return GetThisMessageMap();
}

HICON CWnd::SetIcon(HICON icon, BOOL big) {
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}
