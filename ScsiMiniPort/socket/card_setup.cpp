#include "ScsiMiniPort/socket/card_setup.h"

#if ORVO_SOCKET_SETUP
/* The socket services (controller search, CIS reading, card configuration) are not in this
   build yet; until they are, no card gets configured and the set-up fails. */
LONG NTAPI SetupCard365(PADAPTER_EXTENSION ad, ULONG windowAddress, PUCHAR window, ULONG pcicPort,
                        ULONG ioBase, ULONG irq) {
    (void)ad;
    (void)windowAddress;
    (void)window;
    (void)pcicPort;
    (void)ioBase;
    (void)irq;
    return -1;
}
#endif
