#include "app/framework/message_map.h"

namespace framework {

static bool matches(const message_entry& entry, UINT message, WPARAM wparam, LPARAM lparam) {
    if (entry.message != message) return false;
    if (message == WM_COMMAND) return entry.id == LOWORD(wparam) && entry.code == HIWORD(wparam);
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        return entry.id == header->idFrom && entry.code == header->code;
    }
    return true;
}

const message_entry* find_entry(const message_map* map, UINT message, WPARAM wparam,
                                LPARAM lparam) {
    for (; map != nullptr; map = map->base) {
        for (const message_entry* entry = map->entries; entry->thunk != nullptr; ++entry) {
            if (matches(*entry, message, wparam, lparam)) return entry;
        }
    }
    return nullptr;
}

}  // namespace framework
