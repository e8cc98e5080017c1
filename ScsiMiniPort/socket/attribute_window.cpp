/*
 * Bringing a socket up for the set-up: power and card reset, then memory window 0 opened on
 * the card's attribute memory at the host address discovery mapped.
 */
#include "ScsiMiniPort/socket/pcic365.h"

#if ORVO_SOCKET_SETUP

#define POWER_SETTLE_US 1000
#define RESET_HOLD_US 1000
#define WINDOW_LAST_BYTE 0xFFF

/* Power on with the outputs still off, hold the card in reset as an I/O card, release it,
   then enable the outputs. No wait after the release and no look at the ready bit: the card
   is read at once. */
static VOID PowerUpAndReset(PADAPTER_EXTENSION ad) {
    write_register_365(ad, PCIC_POWER_CONTROL, PCIC_POWER_NO_RESETDRV | PCIC_POWER_AUTO | PCIC_POWER_VCC_ON);
    ScsiPortStallExecution(POWER_SETTLE_US);
    write_register_365(ad, PCIC_INTERRUPT_CONTROL, PCIC_INT_IO_CARD);
    ScsiPortStallExecution(RESET_HOLD_US);
    write_register_365(ad, PCIC_INTERRUPT_CONTROL, PCIC_INT_RESET_RELEASED | PCIC_INT_IO_CARD);
    write_register_365(ad, PCIC_POWER_CONTROL,
                       PCIC_POWER_OUTPUT_ENABLE | PCIC_POWER_NO_RESETDRV | PCIC_POWER_AUTO | PCIC_POWER_VCC_ON);
}

/* Window 0 from the page of address to the page of address + 0xFFF, attribute memory, 16-bit
   path, no wait states, card offset 0 whatever the address. */
static VOID OpenAttributeWindow(PADAPTER_EXTENSION ad, ULONG address) {
    const ULONG last = address + WINDOW_LAST_BYTE;
    write_register_365(ad, PCIC_MEM0_START_LOW, (UCHAR)((address >> 12) & 0xFF));
    write_register_365(ad, PCIC_MEM0_START_HIGH, (UCHAR)(((address >> 20) & 0x0F) + PCIC_MEM_DATA_16BIT));
    write_register_365(ad, PCIC_MEM0_STOP_LOW, (UCHAR)((last >> 12) & 0xFF));
    write_register_365(ad, PCIC_MEM0_STOP_HIGH, (UCHAR)((last >> 20) & 0x0F));
    write_register_365(ad, PCIC_MEM0_OFFSET_LOW, 0x00);
    write_register_365(ad, PCIC_MEM0_OFFSET_HIGH, PCIC_MEM_ATTRIBUTE);
    write_register_365(ad, PCIC_WINDOW_ENABLE,
                       (UCHAR)(read_register_365(ad, PCIC_WINDOW_ENABLE) | PCIC_ENABLE_MEM0));
}

ULONG NTAPI pcmcia_init(PADAPTER_EXTENSION ad, ULONG windowAddress) {
    /* A card already powered and in I/O mode (set up before) is not reset again. */
    const BOOLEAN running = (read_register_365(ad, PCIC_INTERRUPT_CONTROL) & PCIC_INT_IO_CARD) != 0 &&
                            (read_register_365(ad, PCIC_INTERFACE_STATUS) & PCIC_STATUS_POWER_ON) != 0;
    if (!running) PowerUpAndReset(ad);
    OpenAttributeWindow(ad, windowAddress);
    return 0;
}

ULONG NTAPI pcmcia_mw_close(PADAPTER_EXTENSION ad) {
    write_register_365(ad, PCIC_WINDOW_ENABLE,
                       (UCHAR)(read_register_365(ad, PCIC_WINDOW_ENABLE) & ~PCIC_ENABLE_MEM0));
    return 0;
}

#endif /* ORVO_SOCKET_SETUP */
