/* SCSI message bytes the engine sends and recognises. */
#ifndef ORVO_SCSI_MESSAGES_H
#define ORVO_SCSI_MESSAGES_H

#define MSG_COMMAND_COMPLETE 0x00
#define MSG_EXTENDED 0x01
#define MSG_SAVE_DATA_POINTER 0x02
#define MSG_RESTORE_POINTERS 0x03
#define MSG_DISCONNECT 0x04
#define MSG_ABORT 0x06
#define MSG_MESSAGE_REJECT 0x07
#define MSG_NO_OPERATION 0x08
#define MSG_BUS_DEVICE_RESET 0x0C
#define MSG_TWO_BYTE_BIT 0x20 /* first byte of a two-byte message */

#define MSG_IDENTIFY 0x80 /* without disconnect privilege; LUN in bits 2..0 */
#define MSG_IDENTIFY_DISCONNECT 0x40
#define MSG_IDENTIFY_LUN_MASK 0x07

/* Extended messages: EXTENDED, length, code, arguments */
#define EXT_MSG_SDTR 0x01
#define SDTR_LENGTH 3       /* the length byte of an SDTR */
#define SDTR_MESSAGE_SIZE 5 /* EXTENDED, length, code, period factor, offset */

/* REQUEST SENSE carries the LUN in bits 7..5 of its second byte */
#define CDB_LUN_SHIFT 5

#endif /* ORVO_SCSI_MESSAGES_H */
