/*
 * Socket controller access: finding the controller, counting its sockets, selecting a socket
 * and reading or writing its registers through the index/data pair, and card detection.
 */
#include "ScsiMiniPort/socket/pcic365.h"

#if ORVO_SOCKET_SETUP

/* Sockets a given port is probed for, whatever the controller could have. */
#define PCIC_GIVEN_PORT_SOCKETS 4
/* The highest given index port whose data port (port + 1) still lies in the I/O space. */
#define PCIC_HIGHEST_GIVEN_PORT 0xFFFE

const ULONG pcic_port_tb[] = {0x3E0, 0x3E4, 0x3000, 0xF8EC, 0xF8FC, 0xFCFC, 0xFFF4, 0};
const ULONG pcic_sock_tb[] = {8, 4, 4, 4, 4, 4, 4, 0};

static PUCHAR PortAddress(ULONG port) { return (PUCHAR)(ULONG_PTR)port; }

ULONG NTAPI SetupReg365(PADAPTER_EXTENSION ad, ULONG socket) {
    if (socket >= PCIC_MAX_SOCKETS) return PCIC_MAX_SOCKETS;
    ad->PcicSocket = socket;
    ad->PcicIndexPort = ad->PcicPort + (socket < PCIC_SOCKETS_PER_PAIR ? 0 : 2);
    ad->PcicDataPort = ad->PcicIndexPort + 1;
    ad->PcicRegOffset = (socket % PCIC_SOCKETS_PER_PAIR) * PCIC_BLOCK_SIZE;
    return 0;
}

UCHAR NTAPI read_register_365(PADAPTER_EXTENSION ad, UCHAR reg) {
    ScsiPortWritePortUchar(PortAddress(ad->PcicIndexPort), (UCHAR)(reg + ad->PcicRegOffset));
    return ScsiPortReadPortUchar(PortAddress(ad->PcicDataPort));
}

ULONG NTAPI write_register_365(PADAPTER_EXTENSION ad, UCHAR reg, UCHAR value) {
    ScsiPortWritePortUchar(PortAddress(ad->PcicIndexPort), (UCHAR)(reg + ad->PcicRegOffset));
    ScsiPortWritePortUchar(PortAddress(ad->PcicDataPort), value);
    return 0;
}

/* Sockets of the controller at PcicPort that answer in a row from socket 0, up to limit. A
   socket counts only when every lower one answered too. */
static ULONG CountSockets(PADAPTER_EXTENSION ad, ULONG limit) {
    ULONG socket = 0;
    for (; socket < limit; ++socket) {
        SetupReg365(ad, socket);
        if ((read_register_365(ad, PCIC_ID_REVISION) & PCIC_ID_INTERFACE_MASK) != PCIC_ID_MEMORY_AND_IO) {
            break;
        }
    }
    return socket;
}

ULONG NTAPI check365(PADAPTER_EXTENSION ad, USHORT port) {
    if (port != 0) {
        if (port > PCIC_HIGHEST_GIVEN_PORT) return 0; /* names no controller */
        ad->PcicPort = port;
        return CountSockets(ad, PCIC_GIVEN_PORT_SOCKETS);
    }
    for (ULONG row = 0; pcic_port_tb[row] != 0; ++row) {
        ad->PcicPort = pcic_port_tb[row];
        const ULONG sockets = CountSockets(ad, pcic_sock_tb[row]);
        if (sockets != 0) return sockets;
    }
    return 0;
}

ULONG NTAPI pcmcia_card_check(PADAPTER_EXTENSION ad) {
    const UCHAR status = read_register_365(ad, PCIC_INTERFACE_STATUS);
    return (status & PCIC_STATUS_CARD_DETECT) == PCIC_STATUS_CARD_DETECT ? 0 : 1;
}

#endif /* ORVO_SOCKET_SETUP */
