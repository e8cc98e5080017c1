/* Setting the card up in its socket (orvontx). */
#ifndef ORVO_CARD_SETUP_H
#define ORVO_CARD_SETUP_H

#include "ScsiMiniPort/miniport.h"

#if ORVO_SOCKET_SETUP
/* Finds the controller and the card, powers and configures it at ioBase/irq; 0 on success. */
LONG NTAPI SetupCard365(PADAPTER_EXTENSION ad, ULONG windowAddress, PUCHAR window, ULONG pcicPort,
                        ULONG ioBase, ULONG irq);
#endif

#endif
