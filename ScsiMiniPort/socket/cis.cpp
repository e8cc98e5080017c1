/*
 * The CIS tuple walk and the template comparison behind card identification.
 */
#include "ScsiMiniPort/socket/cis.h"

#if ORVO_SOCKET_SETUP

/* Every entry is taken to have a link byte, whatever its code: CISTPL_END does not stop the
   walk and a null entry is skipped by its link like any other, so an unused window (all 0xFF)
   is walked to the limit rather than read past. Codes inside a body are never examined. */
ULONG NTAPI get_tupledata(const UCHAR* window, UCHAR code, PUCHAR buffer, ULONG bufferSize) {
    /* The window is card memory: read it fresh, byte by byte. */
    const volatile UCHAR* cis = window;
    for (ULONG entry = 0; entry < CIS_WALK_LIMIT;) {
        const ULONG link = cis[entry + 2];
        if (cis[entry] == code) {
            for (ULONG i = 0; i < link && i < bufferSize; ++i) {
                const ULONG at = entry + 4 + 2 * i;
                if (at >= ATTRIBUTE_WINDOW_SIZE) break;
                buffer[i] = cis[at];
            }
            return 0;
        }
        entry += 4 + 2 * link;
    }
    return 1;
}

LONG NTAPI tpl_comp(const CARD_TEMPLATE* tpl, const UCHAR* data, ULONG dataLength) {
    for (ULONG i = 0; tpl[i] != CARD_TEMPLATE_END; ++i) {
        if (i >= dataLength || tpl[i] != data[i]) return -1;
    }
    return 0;
}

#endif /* ORVO_SOCKET_SETUP */
