/* Recognising the card in a socket by the strings of its CISTPL_VERS_1 tuple. */
#ifndef ORVO_CARD_IDENTIFY_H
#define ORVO_CARD_IDENTIFY_H

#include "ScsiMiniPort/socket/cis.h"

#if ORVO_SOCKET_SETUP

/* Card types; the set-up accepts CARD_TYPE_SOUND_SCSI only. */
#define CARD_TYPE_NONE 0
#define CARD_TYPE_CARD210 1
#define CARD_TYPE_CARD230 2
#define CARD_TYPE_QTV604 3
#define CARD_TYPE_QTV601 4
#define CARD_TYPE_CARD47 5
#define CARD_TYPE_SOUND_SCSI 6

/* The version-1 body is read into a buffer of this size. */
#define VERS_1_BUFFER_SIZE 128
#define VERS_1_VERSION_BYTES 2

extern const CARD_TEMPLATE QTV601_TPL[];
extern const CARD_TEMPLATE QTV604_TPL[];
extern const CARD_TEMPLATE CARD230_TPL[];
extern const CARD_TEMPLATE CARD210_TPL[];
extern const CARD_TEMPLATE CARD47_TPL[];
extern const CARD_TEMPLATE WOXRA2_TPL[];
extern const CARD_TEMPLATE CARD88_TPL[];

/* Clears CorOffset and ConfigIndex, then identifies the card in the selected socket: 0 with
   its type stored, or 1 with type 0 (no card, no version-1 tuple, or strings of no template). */
ULONG NTAPI orvo61x_check(PADAPTER_EXTENSION ad, const UCHAR* window, PULONG cardType);

#endif /* ORVO_SOCKET_SETUP */
#endif /* ORVO_CARD_IDENTIFY_H */
