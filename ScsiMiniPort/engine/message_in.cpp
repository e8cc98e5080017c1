/*
 * MESSAGE IN: collects one whole message byte by byte (one-byte, two-byte or extended),
 * looks it up in the dispatch tables and answers as its handler decides: accept, reject with
 * MESSAGE REJECT, or answer with the driver's own SDTR. A reply goes out at the next MESSAGE
 * OUT phase, which ATN asks the target for.
 */
#include <string.h>

#include "ScsiMiniPort/engine/budgets.h"
#include "ScsiMiniPort/engine/chip.h"
#include "ScsiMiniPort/engine/engine.h"
#include "ScsiMiniPort/engine/scsi_messages.h"

typedef UCHAR(NTAPI* MESSAGE_HANDLER)(PADAPTER_EXTENSION ad, PUCHAR message);

/* One row of a dispatch table. */
typedef struct _MESSAGE_ENTRY {
    UCHAR Code;     /* matched against the message; 0xFF ends the table */
    UCHAR Length;   /* bytes of the whole message */
    UCHAR Flag;     /* MESSAGE_FLAG_REJECT: reject without calling the handler; any other
                       value (the tables use 0 and 2) calls it */
    MESSAGE_HANDLER Handler;
} MESSAGE_ENTRY;

#define MESSAGE_FLAG_REJECT 1
#define MESSAGE_TABLE_END 0xFF

/* One-byte messages, matched on the first byte. */
static const MESSAGE_ENTRY MessageTable[] = {
    {MSG_COMMAND_COMPLETE, 1, 0, fnCommand_Complete},
    {MSG_SAVE_DATA_POINTER, 1, 0, fnSave_Data_Pointer},
    {MSG_RESTORE_POINTERS, 1, 0, fnRestore_Pointer},
    {MSG_DISCONNECT, 1, 2, fnDisconnect},
    {MSG_MESSAGE_REJECT, 1, 2, fnMessage_Reject},
    {MESSAGE_TABLE_END, 0xFF, 2, fnDummy},
};

/* Extended messages, matched on the extended message code (third byte). */
static const MESSAGE_ENTRY ExMessageTable[] = {
    {EXT_MSG_SDTR, SDTR_MESSAGE_SIZE, 2, fnSync_Data_Transfer_Request},
    {MESSAGE_TABLE_END, 0xFF, 2, fnDummy},
};

#define MESSAGE_BUFFER_SIZE 16
#define EXTENDED_LENGTH_FOR_ZERO 256 /* an extended length byte of 0 announces 256 bytes */

typedef enum _MESSAGE_IN_MODE {
    FirstByte,       /* the next byte starts the message */
    ExtendedLength,  /* an extended message's length byte comes next */
    SecondByte,      /* the second byte of a two-byte message comes next */
    ExtendedBody,    /* collecting the bytes an extended message announced */
} MESSAGE_IN_MODE;

typedef struct _MESSAGE_IN {
    UCHAR Bytes[MESSAGE_BUFFER_SIZE];
    ULONG Position;     /* where the next byte is stored */
    ULONG Left;         /* bytes to read before the next decision */
    MESSAGE_IN_MODE Mode;
    BOOLEAN TooLong;    /* an extended message that does not fit the buffer */
} MESSAGE_IN;

/* Takes one received byte. TRUE when it completes the message. A message that does not fit
   is still read to its end, so that the target can finish it, but nothing is stored past
   the buffer. */
static BOOLEAN NTAPI TakeMessageByte(MESSAGE_IN* msg, UCHAR byte) {
    if (msg->Position < MESSAGE_BUFFER_SIZE) msg->Bytes[msg->Position] = byte;
    if (--msg->Left != 0) {
        ++msg->Position;
        return FALSE;
    }
    if (msg->Mode == ExtendedLength) {
        msg->Left = byte != 0 ? byte : EXTENDED_LENGTH_FOR_ZERO;
        msg->TooLong = (BOOLEAN)(msg->Left > MESSAGE_BUFFER_SIZE - 2);
        msg->Mode = ExtendedBody;
    } else if (msg->Mode == FirstByte && byte == MSG_EXTENDED) {
        msg->Mode = ExtendedLength;
        msg->Left = 1;
    } else if (msg->Mode == FirstByte && (byte & MSG_TWO_BYTE_BIT) && (byte & MSG_IDENTIFY) == 0) {
        /* Bit 0x20 marks a two-byte message only below IDENTIFY: an IDENTIFY is one byte
           whatever its other bits, and taking the next message's first byte for its second
           would misread that message (a RESTORE POINTERS lost or made up). */
        msg->Mode = SecondByte;
        msg->Left = 1;
    } else {
        return TRUE;
    }
    ++msg->Position;
    return FALSE;
}

/* The handler's reply, or a rejection when no row matches. A message whose length differs
   from its row's is rejected as well, so that a handler never reads bytes that did not
   arrive. */
static UCHAR NTAPI DispatchMessage(PADAPTER_EXTENSION ad, MESSAGE_IN* msg) {
    if (msg->TooLong) return MESSAGE_REJECT_IT;
    const BOOLEAN extended = msg->Mode == ExtendedBody;
    const MESSAGE_ENTRY* row = extended ? ExMessageTable : MessageTable;
    const UCHAR code = extended ? msg->Bytes[2] : msg->Bytes[0];
    for (; row->Code != MESSAGE_TABLE_END; ++row) {
        if (row->Code != code) continue;
        if (row->Flag == MESSAGE_FLAG_REJECT || row->Length != msg->Position + 1) {
            return MESSAGE_REJECT_IT;
        }
        return row->Handler(ad, msg->Bytes);
    }
    return MESSAGE_REJECT_IT;
}

static VOID NTAPI QueueReply(PADAPTER_EXTENSION ad, UCHAR reply) {
    if (reply == MESSAGE_ACCEPT) return;
    ChipWrite(ad, COMMAND, CMD_SET_ATN);
    if (reply == MESSAGE_REJECT_IT) {
        ad->MessageOut[0] = MSG_MESSAGE_REJECT;
        ad->MessageOutLength = 1;
    } else {
        ad->MessageOutLength = 0;
        SetStdrMsgout(ad);
    }
}

static VOID NTAPI StartMessage(MESSAGE_IN* msg) {
    memset(msg, 0, sizeof *msg);
    msg->Mode = FirstByte;
    msg->Left = 1;
}

/* Takes message bytes until msg is whole (TRUE, the chip holding ACK on its last byte). FALSE
   when the target left the phase (a message broken off is dropped without a reply), the bus
   went free, the card is gone or the wait ran out. The chip has been told to fetch the next
   byte, or holds ACK on one already taken. */
static BOOLEAN NTAPI CollectMessage(PADAPTER_EXTENSION ad, MESSAGE_IN* msg) {
    for (ULONG polls = 0;; ++polls) {
        if (ad->BusFree) return FALSE;
        if (polls == INTERRUPT_WAIT_POLLS) {
            ad->Phase = PHASE_TIMEOUT;
            return FALSE;
        }
        if (CheckInterruptReg(ad, 0) == 0) continue;
        if (CardGone(ad)) return FALSE;
        if (ad->InterruptStatus & INT_BUS_SERVICE) {
            if (ad->Phase != PHASE_MESSAGE_IN) return FALSE;
            ChipWrite(ad, COMMAND, CMD_TRANSFER_INFO);
            continue;
        }
        if ((ad->InterruptStatus & INT_FUNCTION_COMPLETE) == 0) return FALSE;
        /* A byte has arrived and the chip holds ACK for it. */
        if (TakeMessageByte(msg, ChipRead(ad, FIFO))) return TRUE;
        ChipWrite(ad, COMMAND, CMD_MESSAGE_ACCEPTED);
    }
}

/* Answers a whole message as its handler decides and lets its last byte go. */
static VOID NTAPI FinishMessage(PADAPTER_EXTENSION ad, MESSAGE_IN* msg) {
    QueueReply(ad, DispatchMessage(ad, msg));
    ChipWrite(ad, COMMAND, CMD_MESSAGE_ACCEPTED);
    if (ad->CurrentLu->Completed == 1) {
        WaitForBusFreeAfterCompletion(ad); /* COMMAND COMPLETE */
    } else {
        WaitForInterrupt(ad);
    }
}

UCHAR NTAPI MessageInPhaseRun(PADAPTER_EXTENSION ad) {
    if (ad->BusFree) return 1;
    MESSAGE_IN msg;
    StartMessage(&msg);
    ChipSelectBank0(ad);
    ChipWrite(ad, COMMAND, CMD_FLUSH_FIFO);
    ChipWrite(ad, COMMAND, CMD_TRANSFER_INFO); /* fetch one byte */
    if (CollectMessage(ad, &msg)) FinishMessage(ad, &msg);
    return 1;
}

VOID NTAPI MessageInAfterStatus(PADAPTER_EXTENSION ad, UCHAR first) {
    MESSAGE_IN msg;
    StartMessage(&msg);
    if (!TakeMessageByte(&msg, first)) {
        ChipWrite(ad, COMMAND, CMD_MESSAGE_ACCEPTED);
        if (!CollectMessage(ad, &msg)) return;
    }
    FinishMessage(ad, &msg);
}
