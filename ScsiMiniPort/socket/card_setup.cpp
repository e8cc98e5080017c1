/*
 * The card set-up of orvontx: search the controller's sockets for the Sound/SCSI card, then
 * give it its I/O window, its IRQ and its configuration.
 */
#include "ScsiMiniPort/socket/card_setup.h"

#include "ScsiMiniPort/socket/card_identify.h"
#include "ScsiMiniPort/socket/pcic365.h"

#if ORVO_SOCKET_SETUP

#define HIGHEST_IRQ 15

const ULONG iobase88_tb[] = {0x140, 0x180, 0x260, 0x270, 0x280, 0x290, 0x300, 0x320, 0x330, 0};
const ULONG CARD88_idxtb[] = {0x60, 0x60, 0x60, 0x61, 0x60, 0x61, 0x60, 0x60, 0x61, 0};

ULONG NTAPI request_io(PADAPTER_EXTENSION ad, ULONG ioBase) {
    const ULONG last = ioBase + CARD_IO_PORTS - 1;
    write_register_365(ad, PCIC_IO0_START_HIGH, (UCHAR)((ioBase >> 8) & 0xFF));
    write_register_365(ad, PCIC_IO0_START_LOW, (UCHAR)(ioBase & 0xFF));
    write_register_365(ad, PCIC_IO0_STOP_HIGH, (UCHAR)((last >> 8) & 0xFF));
    write_register_365(ad, PCIC_IO0_STOP_LOW, (UCHAR)(last & 0xFF));
    write_register_365(ad, PCIC_WINDOW_ENABLE,
                       (UCHAR)(read_register_365(ad, PCIC_WINDOW_ENABLE) | PCIC_ENABLE_IO0));
    write_register_365(ad, PCIC_IO_CONTROL, PCIC_IO_CONTROL_SETUP);
    return 0;
}

/* The IRQ field is four bits wide: a larger number would spill into the card-reset and
   I/O-card bits of the same register (holding the card in reset), so it is refused. */
ULONG NTAPI request_irq(PADAPTER_EXTENSION ad, ULONG irq) {
    if (irq > HIGHEST_IRQ) return 1;
    const UCHAR control = read_register_365(ad, PCIC_INTERRUPT_CONTROL);
    write_register_365(ad, PCIC_INTERRUPT_CONTROL, (UCHAR)((control & ~PCIC_INT_IRQ_MASK) | irq));
    return 0;
}

LONG NTAPI request_configuration(PADAPTER_EXTENSION ad, PUCHAR window, ULONG ioBase, ULONG cardType) {
    if (cardType != CARD_TYPE_SOUND_SCSI) return -1;
    ad->CorOffset = CARD_COR_OFFSET;
    ULONG row = 0;
    while (iobase88_tb[row] != 0 && iobase88_tb[row] != ioBase) ++row;
    if (iobase88_tb[row] == 0) return -2;
    ad->ConfigIndex = CARD88_idxtb[row];
    /* Card registers: plain byte writes through the window, which the socket passes on. */
    volatile UCHAR* attribute = window;
    attribute[ad->CorOffset] = (UCHAR)(ad->ConfigIndex | CARD_COR_LEVEL_IRQ);
    attribute[ad->CorOffset + CARD_CSR_DISTANCE] = 0x00;
    return 0;
}

/* Powers each socket in turn and identifies its card; the first Sound/SCSI card is the one.
   Sockets passed over keep power with their window closed. */
static BOOLEAN FindSoundScsiCard(PADAPTER_EXTENSION ad, ULONG sockets, ULONG windowAddress,
                                 const UCHAR* window, PULONG cardType) {
    for (ULONG socket = 0; socket < sockets; ++socket) {
        SetupReg365(ad, socket);
        pcmcia_init(ad, windowAddress);
        if (orvo61x_check(ad, window, cardType) == 0 && *cardType == CARD_TYPE_SOUND_SCSI) return TRUE;
        pcmcia_mw_close(ad);
    }
    return FALSE;
}

LONG NTAPI SetupCard365(PADAPTER_EXTENSION ad, ULONG windowAddress, PUCHAR window, ULONG pcicPort,
                        ULONG ioBase, ULONG irq) {
    ULONG cardType = CARD_TYPE_NONE;

    const ULONG sockets = check365(ad, (USHORT)pcicPort);
    if (sockets == 0) return -1;
    if (!FindSoundScsiCard(ad, sockets, windowAddress, window, &cardType)) return -1;
    /* A failure from here on leaves the I/O window and IRQ as programmed so far and the
       attribute window open. */
    if (request_io(ad, ioBase) != 0) return -1;
    if (request_irq(ad, irq) != 0) return -1;
    if (request_configuration(ad, window, ioBase, cardType) != 0) return -1;
    pcmcia_mw_close(ad);
    return 0;
}

#endif /* ORVO_SOCKET_SETUP */
