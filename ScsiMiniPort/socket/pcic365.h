/*
 * The PC Card socket controller (82365-compatible), as orvontx drives it: an index/data port
 * pair per four sockets, one 64-register block per socket. Sockets 0-3 are reached through
 * PcicPort / PcicPort + 1, sockets 4-7 through PcicPort + 2 / PcicPort + 3; within a pair,
 * socket n owns the block at index (n mod 4) * 0x40.
 */
#ifndef ORVO_PCIC365_H
#define ORVO_PCIC365_H

#include "ScsiMiniPort/miniport.h"

#if ORVO_SOCKET_SETUP

#define PCIC_MAX_SOCKETS 8
#define PCIC_SOCKETS_PER_PAIR 4
#define PCIC_BLOCK_SIZE 0x40
#define PCIC_DEFAULT_PORT 0x3E0

/* Socket registers, before the socket's block offset is added. */
enum Pcic365Register : UCHAR {
    PCIC_ID_REVISION = 0x00,
    PCIC_INTERFACE_STATUS = 0x01,
    PCIC_POWER_CONTROL = 0x02,
    PCIC_INTERRUPT_CONTROL = 0x03,
    PCIC_WINDOW_ENABLE = 0x06,
    PCIC_IO_CONTROL = 0x07,
    PCIC_IO0_START_LOW = 0x08,
    PCIC_IO0_START_HIGH = 0x09,
    PCIC_IO0_STOP_LOW = 0x0A,
    PCIC_IO0_STOP_HIGH = 0x0B,
    PCIC_MEM0_START_LOW = 0x10,
    PCIC_MEM0_START_HIGH = 0x11,
    PCIC_MEM0_STOP_LOW = 0x12,
    PCIC_MEM0_STOP_HIGH = 0x13,
    PCIC_MEM0_OFFSET_LOW = 0x14,
    PCIC_MEM0_OFFSET_HIGH = 0x15,
};

/* PCIC_ID_REVISION: a memory-and-I/O socket answers 0x8n. */
#define PCIC_ID_INTERFACE_MASK 0xF0
#define PCIC_ID_MEMORY_AND_IO 0x80

/* PCIC_INTERFACE_STATUS */
#define PCIC_STATUS_CARD_DETECT 0x0C /* CD2 and CD1: card fully inserted */
#define PCIC_STATUS_POWER_ON 0x40

/* PCIC_POWER_CONTROL */
#define PCIC_POWER_VCC_ON 0x10
#define PCIC_POWER_AUTO 0x20
#define PCIC_POWER_NO_RESETDRV 0x40
#define PCIC_POWER_OUTPUT_ENABLE 0x80

/* PCIC_INTERRUPT_CONTROL */
#define PCIC_INT_IRQ_MASK 0x0F
#define PCIC_INT_IO_CARD 0x20
#define PCIC_INT_RESET_RELEASED 0x40 /* 0 holds the card in reset */

/* PCIC_WINDOW_ENABLE */
#define PCIC_ENABLE_MEM0 0x01
#define PCIC_ENABLE_IO0 0x40

/* PCIC_IO_CONTROL, per window nibble: 16-bit path, width from the card, added wait state. */
#define PCIC_IO_CONTROL_SETUP 0xBB

/* PCIC_MEM0_START_HIGH / _OFFSET_HIGH */
#define PCIC_MEM_DATA_16BIT 0x80
#define PCIC_MEM_ATTRIBUTE 0x40

/* Candidate index ports, tried in order when none is given, with how many sockets each may
   have; both tables end with 0. */
extern const ULONG pcic_port_tb[];
extern const ULONG pcic_sock_tb[];

/* Finds the controller at port (0: search the candidates) and returns how many sockets answer
   in a row from socket 0 (at most 4 at a given port, 0 when none, and 0 without a port access
   for 0xFFFF, whose data port would lie past the I/O space). Leaves PcicPort set and the last
   socket probed selected. */
ULONG NTAPI check365(PADAPTER_EXTENSION ad, USHORT port);

/* Selects socket for the following register accesses; 0, or 8 (nothing changed) when the
   number is outside 0-7. */
ULONG NTAPI SetupReg365(PADAPTER_EXTENSION ad, ULONG socket);

UCHAR NTAPI read_register_365(PADAPTER_EXTENSION ad, UCHAR reg);
ULONG NTAPI write_register_365(PADAPTER_EXTENSION ad, UCHAR reg, UCHAR value);

/* 0 when a card is fully inserted in the selected socket, 1 otherwise. */
ULONG NTAPI pcmcia_card_check(PADAPTER_EXTENSION ad);

/* Powers and resets the card in the selected socket unless it is already powered and in I/O
   mode, then opens the 4 KiB attribute-memory window at windowAddress. Returns 0. */
ULONG NTAPI pcmcia_init(PADAPTER_EXTENSION ad, ULONG windowAddress);

/* Disables memory window 0 of the selected socket; its address registers keep their values. */
ULONG NTAPI pcmcia_mw_close(PADAPTER_EXTENSION ad);

#endif /* ORVO_SOCKET_SETUP */
#endif /* ORVO_PCIC365_H */
