/* Setting the card up in its socket (orvontx): I/O window, IRQ and configuration. */
#ifndef ORVO_CARD_SETUP_H
#define ORVO_CARD_SETUP_H

#include "ScsiMiniPort/miniport.h"

#if ORVO_SOCKET_SETUP

#define CARD_IO_PORTS 0x20
#define CARD_COR_OFFSET 0x400     /* configuration option register, in attribute memory */
#define CARD_CSR_DISTANCE 2       /* configuration and status register: COR + 2 */
#define CARD_COR_LEVEL_IRQ 0x40   /* COR bit 6: level-mode interrupts; bits 5..0 the index */

/* The Sound/SCSI card's I/O bases and, at the same position, the configuration value each
   needs; both end with 0. */
extern const ULONG iobase88_tb[];
extern const ULONG CARD88_idxtb[];

/* Opens I/O window 0 of the selected socket on the 32 ports from ioBase. Returns 0. */
ULONG NTAPI request_io(PADAPTER_EXTENSION ad, ULONG ioBase);

/* Steers the card's interrupt to irq: 0, or 1 (nothing written) for an IRQ above 15. */
ULONG NTAPI request_irq(PADAPTER_EXTENSION ad, ULONG irq);

/* Writes the card's configuration for ioBase: 0, -1 for a card other than the Sound/SCSI
   card, -2 for an I/O base the card cannot take. */
LONG NTAPI request_configuration(PADAPTER_EXTENSION ad, PUCHAR window, ULONG ioBase, ULONG cardType);

/* Finds the controller (pcicPort, 0: search) and the Sound/SCSI card in its sockets, and
   gives the card ioBase and irq; window is the attribute window mapped at windowAddress.
   0 when the card is configured, -1 otherwise. */
LONG NTAPI SetupCard365(PADAPTER_EXTENSION ad, ULONG windowAddress, PUCHAR window, ULONG pcicPort,
                        ULONG ioBase, ULONG irq);

#endif /* ORVO_SOCKET_SETUP */
#endif /* ORVO_CARD_SETUP_H */
