/*
 * Reading the option string. Every step stops at the string's NUL: the slash scan ends there,
 * a word that would run past it does not match, a missing value character counts as a
 * non-digit.
 */
#include "ScsiMiniPort/options.h"

static BOOLEAN IsDecimalDigit(CHAR c) { return c >= '0' && c <= '9'; }

/* Hexadecimal digit value, or -1. Letters are tested with bits 5 and 7 cleared. */
static LONG HexDigitValue(CHAR c) {
    if (IsDecimalDigit(c)) return c - '0';
    const UCHAR letter = (UCHAR)((UCHAR)c & ~0xA0);
    if (letter >= 'A' && letter <= 'F') return letter - 'A' + 10;
    return -1;
}

ULONG NTAPI str_n_cmp(const CHAR* a, const CHAR* b, ULONG n) {
    for (ULONG i = 0; i < n; ++i) {
        if (((UCHAR)a[i] | 0x20) != ((UCHAR)b[i] | 0x20)) return 1;
    }
    return 0;
}

ULONG NTAPI ctoi(const CHAR* text, ULONG n) {
    ULONG value = 0;
    for (ULONG i = 0; i < n && text[i] != '\0'; ++i) {
        const LONG digit = HexDigitValue(text[i]);
        if (digit >= 0) value = value * 16 + (ULONG)digit;
    }
    return value;
}

static ULONG WordLength(const CHAR* word) {
    ULONG n = 0;
    while (word[n] != '\0') ++n;
    return n;
}

/* What an option does once its word has matched. */
typedef enum _OPTION_KIND {
    OptionReset,      /* two value characters follow */
    OptionWidth,      /* the next character is skipped */
    OptionTarget,     /* an optional target digit follows */
    OptionFlag,       /* nothing follows */
} OPTION_KIND;

typedef enum _OPTION_ID {
    OptReset, OptByteWide, Opt32Bit, OptParityOff, OptNoSelect, OptAsync, OptNoDisconnect,
    OptCheck, OptDelay, OptNoDelay, OptDma
} OPTION_ID;

typedef struct _SLASH_OPTION {
    const CHAR* Word;
    OPTION_ID Id;
    OPTION_KIND Kind;
} SLASH_OPTION;

/* Compared in this order; the builds without the data-in delay and DMA stop after "CHECK". */
static const SLASH_OPTION SlashOptionTable[] = {
    {"RESET=", OptReset, OptionReset},
    {"BM", OptByteWide, OptionWidth},
    {"32", Opt32Bit, OptionWidth},
    {"PARITYOFF", OptParityOff, OptionFlag},
    {"NS", OptNoSelect, OptionTarget},
    {"AS", OptAsync, OptionTarget},
    {"ND", OptNoDisconnect, OptionTarget},
    {"CHECK", OptCheck, OptionFlag},
#if ORVO_HAS_DMA_AND_DELAY
    {"DELAY", OptDelay, OptionFlag},
    {"NODELAY", OptNoDelay, OptionFlag},
    {"DMA", OptDma, OptionFlag},
#endif
};

#define SLASH_OPTION_COUNT (sizeof SlashOptionTable / sizeof SlashOptionTable[0])

static VOID SetForTargets(PUCHAR table, CHAR selector) {
    if (IsDecimalDigit(selector)) {
        table[(selector - '0') % SCSI_MAX_TARGETS] = 1;
        return;
    }
    for (ULONG t = 0; t < SCSI_MAX_TARGETS; ++t) table[t] = 1;
}

static VOID ApplyOption(PADAPTER_EXTENSION ad, OPTION_ID id, const CHAR* argument) {
    switch (id) {
    case OptReset:
        ad->ResetDelay = ctoi(argument, 2) * 1000;
        ad->ResetDelaySet = 1;
        break;
    case OptByteWide: ad->TransferWidth = TRANSFER_WIDTH_BYTE; break;
    case Opt32Bit: ad->TransferWidth = TRANSFER_WIDTH_32BIT; break;
    case OptParityOff: ad->ParityEnable = 0; break;
    case OptNoSelect: SetForTargets(ad->NoSelect, argument[0]); break;
    case OptAsync: SetForTargets(ad->AsyncTarget, argument[0]); break;
    case OptNoDisconnect: break; /* accepted; no selection grants disconnection anyway */
    case OptCheck:
        ad->DeviceCheck = 1;
        ad->SignatureFlag = 1;
        break;
#if ORVO_HAS_DMA_AND_DELAY
    case OptDelay: ad->DataInDelay = 1; break;
    case OptNoDelay: ad->DataInDelay = 0; break;
    case OptDma: ad->DmaMode = 1; break;
#else
    default: break;
#endif
    }
}

VOID NTAPI ScanSlashOptions(PADAPTER_EXTENSION ad, const CHAR* text) {
    ULONG pos = 0;
    while (pos < SLASH_SCAN_LIMIT && text[pos] != '\0') {
        if (text[pos] != '/' && text[pos] != '-') {
            ++pos;
            continue;
        }
        const CHAR* word = text + pos + 1;
        const SLASH_OPTION* option = 0;
        for (ULONG i = 0; i < SLASH_OPTION_COUNT; ++i) {
            if (str_n_cmp(word, SlashOptionTable[i].Word, WordLength(SlashOptionTable[i].Word)) == 0) {
                option = &SlashOptionTable[i];
                break;
            }
        }
        if (option == 0) {
            ++pos;
            continue;
        }
        const CHAR* after = word + WordLength(option->Word);
        ApplyOption(ad, option->Id, after);
        switch (option->Kind) {
        case OptionReset:
            /* Resume at the second value character; a string that ends inside the value ends
               the scan. */
            if (after[0] == '\0') return;
            pos = (ULONG)(after + 1 - text);
            break;
        case OptionWidth:
        case OptionTarget:
            /* The character after the word is consumed (a digit, a blank, or anything). */
            if (after[0] == '\0') return;
            pos = (ULONG)(after + 1 - text);
            break;
        case OptionFlag:
            ++pos;
            break;
        }
    }
}

#if ORVO_SOCKET_SETUP

/* The keyword's characters but the last must match exactly and one more character must
   follow; that last character's value does not matter ("IRQ:A" reads as "IRQ=A"). */
LONG NTAPI kywd_comp(const CHAR* text, const CHAR* keyword) {
    const ULONG length = WordLength(keyword);
    for (ULONG i = 0; i + 1 < length; ++i) {
        if (text[i] == '\0' || text[i] != keyword[i]) return -1;
    }
    return text[length - 1] != '\0' ? (LONG)length : -1;
}

LONG NTAPI kywd_srch(const CHAR* text, const CHAR* keyword) {
    for (ULONG pos = 0; text[pos] != '\0'; ++pos) {
        const LONG length = kywd_comp(text + pos, keyword);
        if (length > 0) return (LONG)pos + length;
    }
    return -1;
}

/* 0-9, A-F, a-f only (resource values are read strictly). */
static LONG StrictHexValue(CHAR c) {
    if (IsDecimalDigit(c)) return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

static ULONG ReadHex(const CHAR* text, ULONG maxDigits, PULONG value) {
    ULONG number = 0, digits = 0;
    while (digits < maxDigits) {
        const LONG digit = StrictHexValue(text[digits]);
        if (digit < 0) break;
        number = number * 16 + (ULONG)digit;
        ++digits;
    }
    if (digits > 0) *value = number;
    return digits;
}

ULONG NTAPI hex2int(const CHAR* text, PULONG value) { return ReadHex(text, 4, value); }
ULONG NTAPI hex2long(const CHAR* text, PULONG value) { return ReadHex(text, 8, value); }

VOID NTAPI ParseScsiParm(const CHAR* text, PULONG windowAddress, PULONG pcicPort, PULONG ioBase,
                         PULONG irq) {
    LONG at = kywd_srch(text, "MEM=");
    if (at >= 0) hex2long(text + at, windowAddress);
    at = kywd_srch(text, "PCIC=");
    if (at >= 0) hex2int(text + at, pcicPort);
    at = kywd_srch(text, "IRQ=");
    if (at >= 0) hex2int(text + at, irq);
    at = kywd_srch(text, "IOBASE=");
    if (at >= 0) hex2int(text + at, ioBase);
}

#endif
