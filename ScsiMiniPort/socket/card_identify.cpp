/*
 * The known cards and their identification. Each template lists the strings of the card's
 * version-1 tuple, every one with its NUL, so a named string must match exactly while further
 * strings on the card are ignored.
 */
#include "ScsiMiniPort/socket/card_identify.h"

#include "ScsiMiniPort/socket/pcic365.h"

#include <string.h>

#if ORVO_SOCKET_SETUP

/* Adjacent literals keep "\0" from swallowing the digits that follow it. */
const CARD_TEMPLATE QTV601_TPL[] = "PCMCIA SCSI QTV20601" "\0" "01" "\0" "\xFF";
const CARD_TEMPLATE QTV604_TPL[] = "PCMCIA SCSI QTV20604" "\0" "01" "\0" "\xFF";
const CARD_TEMPLATE CARD230_TPL[] = "0917 KELMAR System Inc." "\0" "ORVO61 SCSI2 CARD" "\0" "PNPB417" "\0" "\xFF";
const CARD_TEMPLATE CARD210_TPL[] = "PCMCIA SCSI2 CARD-210" "\0" "01" "\0" "\xFF";
const CARD_TEMPLATE CARD47_TPL[] = "KELMAR System Inc." "\0" "SCSI2 CARD 47" "\0" "\xFF";
const CARD_TEMPLATE WOXRA2_TPL[] = "SUVANE INFO." "\0" "SCSI2 CARD 47" "\0" "\xFF";
const CARD_TEMPLATE CARD88_TPL[] = "KELMAR System Inc." "\0" "SOUND/SCSI2 CARD 88" "\0" "\xFF";

typedef struct _KNOWN_CARD {
    const CARD_TEMPLATE* Template;
    ULONG CardType;
} KNOWN_CARD;

/* In the order they are tried; the first match decides. */
static const KNOWN_CARD KnownCards[] = {
    {QTV601_TPL, CARD_TYPE_QTV601}, {QTV604_TPL, CARD_TYPE_QTV604}, {CARD230_TPL, CARD_TYPE_CARD230},
    {CARD210_TPL, CARD_TYPE_CARD210}, {CARD47_TPL, CARD_TYPE_CARD47}, {WOXRA2_TPL, CARD_TYPE_CARD47},
    {CARD88_TPL, CARD_TYPE_SOUND_SCSI},
};

ULONG NTAPI orvo61x_check(PADAPTER_EXTENSION ad, const UCHAR* window, PULONG cardType) {
    UCHAR body[VERS_1_BUFFER_SIZE];

    ad->CorOffset = 0;
    ad->ConfigIndex = 0;
    *cardType = CARD_TYPE_NONE;
    if (pcmcia_card_check(ad) != 0) return 1;
    /* 0xFF never occurs inside a template, so the bytes past a short body (left at 0xFF) can
       never complete a match. */
    memset(body, 0xFF, sizeof body);
    if (get_tupledata(window, CISTPL_VERS_1, body, sizeof body) != 0) return 1;
    for (ULONG i = 0; i < sizeof KnownCards / sizeof KnownCards[0]; ++i) {
        if (tpl_comp(KnownCards[i].Template, body + VERS_1_VERSION_BYTES,
                     sizeof body - VERS_1_VERSION_BYTES) == 0) {
            *cardType = KnownCards[i].CardType;
            return 0;
        }
    }
    return 1;
}

#endif /* ORVO_SOCKET_SETUP */
