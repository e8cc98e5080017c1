/* The option string (registry value DriverParameter), as the drivers read it. */
#ifndef ORVO_OPTIONS_H
#define ORVO_OPTIONS_H

#include "ScsiMiniPort/miniport.h"

/* Slash options are looked for only among the first characters of the string. */
#define SLASH_SCAN_LIMIT 80

/* 0 when the first n characters agree with 0x20 OR-ed into each, else 1. Stops at the first
   difference, so a text that ends early (NUL) never matches and is never read past. */
ULONG NTAPI str_n_cmp(const CHAR* a, const CHAR* b, ULONG n);

/* The number formed by the hexadecimal digits among the next n characters (stops at NUL). */
ULONG NTAPI ctoi(const CHAR* text, ULONG n);

/* Applies the slash options ("/" or "-" prefix) to the adapter record. */
VOID NTAPI ScanSlashOptions(PADAPTER_EXTENSION ad, const CHAR* text);

#if ORVO_SOCKET_SETUP
LONG NTAPI kywd_comp(const CHAR* text, const CHAR* keyword);
LONG NTAPI kywd_srch(const CHAR* text, const CHAR* keyword);
ULONG NTAPI hex2int(const CHAR* text, PULONG value);
ULONG NTAPI hex2long(const CHAR* text, PULONG value);

/* Replaces each working value whose resource keyword ("MEM=", "PCIC=", "IRQ=", "IOBASE=")
   the string holds with a value. */
VOID NTAPI ParseScsiParm(const CHAR* text, PULONG windowAddress, PULONG pcicPort, PULONG ioBase,
                         PULONG irq);
#endif

#endif
