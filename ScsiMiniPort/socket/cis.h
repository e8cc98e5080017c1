/*
 * Reading the card information structure through the attribute window, and card templates.
 *
 * Attribute memory has one byte per even address, so CIS byte k lies at window offset 2k. An
 * entry at offset p is its code at p, its link (body length) at p + 2 and body byte i at
 * p + 4 + 2i; the next entry follows at p + 4 + 2 * link.
 *
 * A CARD_TEMPLATE is one or more strings, each with its NUL, ended by one 0xFF byte: the
 * strings a CISTPL_VERS_1 body holds after its two version bytes.
 */
#ifndef ORVO_CIS_H
#define ORVO_CIS_H

#include "ScsiMiniPort/miniport.h"

#if ORVO_SOCKET_SETUP

#define ATTRIBUTE_WINDOW_SIZE 0x1000
#define CIS_WALK_LIMIT 0xFE0 /* no entry is looked for at or beyond this window offset */
#define CISTPL_VERS_1 0x15
#define CARD_TEMPLATE_END 0xFF

typedef UCHAR CARD_TEMPLATE;

/* Copies the body of the first entry with the code into buffer and returns 0, or returns 1
   (buffer untouched) when no entry before CIS_WALK_LIMIT has it. At most bufferSize bytes are
   copied, and none from beyond the window: a longer body is cut. */
ULONG NTAPI get_tupledata(const UCHAR* window, UCHAR code, PUCHAR buffer, ULONG bufferSize);

/* 0 when data holds every template byte before the end marker at the same position, -1
   otherwise; data past the template is not looked at, and a template longer than the data
   never matches. */
LONG NTAPI tpl_comp(const CARD_TEMPLATE* tpl, const UCHAR* data, ULONG dataLength);

#endif /* ORVO_SOCKET_SETUP */
#endif /* ORVO_CIS_H */
