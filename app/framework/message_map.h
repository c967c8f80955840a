#pragma once
// Message maps: a static table per class from window messages, command ids and
// notification codes to member handlers. The one dialog procedure looks a message up in
// the table of the object's class, then in its base classes' tables. The raw WPARAM and
// LPARAM are unpacked here, once, by small thunks; handlers see typed arguments.

#include <windows.h>

class CCmdTarget;

namespace framework {

using handler_thunk = LRESULT (*)(CCmdTarget* target, WPARAM wparam, LPARAM lparam);

struct message_entry {
    UINT message;  // the window message; WM_COMMAND for command entries
    UINT code;     // WM_COMMAND and WM_NOTIFY: the notification code (0 for menus and clicks)
    UINT id;       // WM_COMMAND and WM_NOTIFY: the command or control id
    handler_thunk thunk;
};

struct message_map {
    const message_map* base;
    const message_entry* entries;  // ends with an entry whose thunk is null
};

// The first entry for the message in the map or its bases; null when none.
const message_entry* find_entry(const message_map* map, UINT message, WPARAM wparam, LPARAM lparam);

template <class T, auto handler>
LRESULT call_void(CCmdTarget* target, WPARAM, LPARAM) {
    (static_cast<T*>(target)->*handler)();
    return 0;
}

template <class T, auto handler>
LRESULT call_syscommand(CCmdTarget* target, WPARAM wparam, LPARAM lparam) {
    (static_cast<T*>(target)->*handler)(static_cast<UINT>(wparam), lparam);
    return 0;
}

template <class T, auto handler>
LRESULT call_query_drag_icon(CCmdTarget* target, WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>((static_cast<T*>(target)->*handler)());
}

template <class T, auto handler>
LRESULT call_notify(CCmdTarget* target, WPARAM, LPARAM lparam) {
    return (static_cast<T*>(target)->*handler)(reinterpret_cast<NMHDR*>(lparam));
}

template <class T, auto handler>
LRESULT call_message(CCmdTarget* target, WPARAM wparam, LPARAM lparam) {
    return (static_cast<T*>(target)->*handler)(wparam, lparam);
}

}  // namespace framework

#define DECLARE_MESSAGE_MAP()                                 \
  protected:                                                  \
    static const framework::message_map* GetThisMessageMap(); \
    const framework::message_map* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                      \
    const framework::message_map* theClass::GetMessageMap() const { \
        return GetThisMessageMap();                                 \
    }                                                               \
    const framework::message_map* theClass::GetThisMessageMap() {   \
        using ThisClass [[maybe_unused]] = theClass;                \
        using TheBaseClass = baseClass;                             \
        static const framework::message_entry entries[] = {
#define END_MESSAGE_MAP()                                                                   \
    { 0, 0, 0, nullptr }                                                                    \
    }                                                                                       \
    ;                                                                                       \
    static const framework::message_map map = {TheBaseClass::GetThisMessageMap(), entries}; \
    return &map;                                                                            \
    }

// A menu command or a button click (both arrive with notification code 0).
#define ON_COMMAND(id, handler) \
    {WM_COMMAND, 0, static_cast<UINT>(id), &framework::call_void<ThisClass, &ThisClass::handler>},
#define ON_BN_CLICKED(id, handler)                  \
    {WM_COMMAND, BN_CLICKED, static_cast<UINT>(id), \
     &framework::call_void<ThisClass, &ThisClass::handler>},
#define ON_EN_CHANGE(id, handler)                  \
    {WM_COMMAND, EN_CHANGE, static_cast<UINT>(id), \
     &framework::call_void<ThisClass, &ThisClass::handler>},
#define ON_LBN_DBLCLK(id, handler)                  \
    {WM_COMMAND, LBN_DBLCLK, static_cast<UINT>(id), \
     &framework::call_void<ThisClass, &ThisClass::handler>},
#define ON_WM_SYSCOMMAND() \
    {WM_SYSCOMMAND, 0, 0, &framework::call_syscommand<ThisClass, &ThisClass::OnSysCommand>},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, &framework::call_void<ThisClass, &ThisClass::OnPaint>},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0,  \
     &framework::call_query_drag_icon<ThisClass, &ThisClass::OnQueryDragIcon>},
#define ON_WM_CLOSE() {WM_CLOSE, 0, 0, &framework::call_void<ThisClass, &ThisClass::OnClose>},
// A notification from a control: the handler takes the NMHDR and returns the answer.
#define ON_NOTIFY(code, id, handler)                            \
    {WM_NOTIFY, static_cast<UINT>(code), static_cast<UINT>(id), \
     &framework::call_notify<ThisClass, &ThisClass::handler>},
// Any window message, handled as LRESULT handler(WPARAM, LPARAM).
#define ON_MESSAGE(message, handler) \
    {static_cast<UINT>(message), 0, 0, &framework::call_message<ThisClass, &ThisClass::handler>},
