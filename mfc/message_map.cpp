#include "mfc/message_map.h"

namespace orvo::mfc {

const MessageMapEntry* find_handler(const MessageMap* map, UINT message, int id, WORD code) {
    for (; map != nullptr; map = map->base) {
        for (const MessageMapEntry& entry : map->entries) {
            if (entry.message != message) continue;
            if (message == WM_COMMAND && (entry.id != id || entry.code != code)) continue;
            return &entry;
        }
    }
    return nullptr;
}

} // namespace orvo::mfc
