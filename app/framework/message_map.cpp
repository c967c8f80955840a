#include "app/framework/message_map.h"

namespace framework {

static bool matches(const message_entry& entry, UINT message, WPARAM wparam) {
    if (entry.message != message) return false;
    if (message != WM_COMMAND) return true;
    return entry.id == LOWORD(wparam) && entry.code == HIWORD(wparam);
}

const message_entry* find_entry(const message_map* map, UINT message, WPARAM wparam) {
    for (; map != nullptr; map = map->base) {
        for (const message_entry* entry = map->entries; entry->thunk != nullptr; ++entry) {
            if (matches(*entry, message, wparam)) return entry;
        }
    }
    return nullptr;
}

}  // namespace framework
