/*
 * FAS408 register map, command codes and status bits as the miniport uses them.
 * Registers are 8 bits at ChipBase + offset; PIO_DATA also takes 16- and 32-bit cycles.
 * CONFIG4 bit 7 selects the bank; the engine polls with bank 0 selected.
 */
#ifndef ORVO_FAS408_H
#define ORVO_FAS408_H

#include "scsiport/scsiport.h"

/* Bank 0 */
enum Fas408Bank0 : UCHAR {
    TC_LOW = 0x00,       /* rw transfer count 7..0 (residual on read) */
    TC_MID = 0x01,       /* rw transfer count 15..8 */
    FIFO = 0x02,         /* rw SCSI FIFO */
    COMMAND = 0x03,      /* w  command code */
    STATUS = 0x04,       /* r  status;            w DEST_ID */
    DEST_ID = 0x04,
    INT_STATUS = 0x05,   /* r  interrupt status;  w SEL_TIMEOUT */
    SEL_TIMEOUT = 0x05,
    SEQ_STEP = 0x06,     /* r  sequence step;     w SYNC_PERIOD */
    SYNC_PERIOD = 0x06,
    FIFO_FLAGS = 0x07,   /* r  SCSI FIFO count;   w SYNC_OFFSET */
    SYNC_OFFSET = 0x07,
    CONFIG1 = 0x08,      /* w */
    CLOCK_FACTOR = 0x09, /* w */
    CONFIG2 = 0x0B,      /* w */
    CONFIG3 = 0x0C,      /* rw */
    CONFIG4 = 0x0D,      /* w  both banks; bit 7 selects the bank */
    TC_HIGH = 0x0E,      /* rw transfer count 23..16 */
};

/* Bank 1 */
enum Fas408Bank1 : UCHAR {
    SRAM_ADDR = 0x01,     /* w */
    SRAM_DATA = 0x02,     /* w */
    PIO_DATA = 0x04,      /* rw data FIFO, 8/16/32-bit cycles */
    PIO_STATUS = 0x08,    /* r  data FIFO state;   w PIO_CONTROL */
    PIO_CONTROL = 0x08,
    PIO_DIRECTION = 0x0B, /* w */
    CHIP_ID = 0x0E,       /* r */
};

/* COMMAND codes; bit 7 = the bytes go through the data FIFO (PIO_DATA). */
enum Fas408Command : UCHAR {
    CMD_NOP = 0x00,
    CMD_FLUSH_FIFO = 0x01,
    CMD_RESET_CHIP = 0x02,
    CMD_RESET_BUS = 0x03,
    CMD_TRANSFER_INFO = 0x10,
    CMD_INITIATOR_COMPLETE = 0x11,
    CMD_MESSAGE_ACCEPTED = 0x12,
    CMD_SET_ATN = 0x1A,
    CMD_RESET_ATN = 0x1B,
    CMD_SELECT_ATN = 0x42,
    CMD_SELECT_ATN_STOP = 0x43,
    CMD_DATA_FIFO = 0x80,
    CMD_TRANSFER_INFO_PIO = 0x90,
    CMD_SELECT_ATN_PIO = 0xC2,
    CMD_SELECT_ATN_STOP_PIO = 0xC3,
};

/* STATUS */
#define STATUS_INTERRUPT 0x80
#define STATUS_PHASE_MASK 0x07

/* Bus phases (STATUS bits 2..0) */
#define PHASE_DATA_OUT 0
#define PHASE_DATA_IN 1
#define PHASE_COMMAND 2
#define PHASE_STATUS 3
#define PHASE_MESSAGE_OUT 6
#define PHASE_MESSAGE_IN 7

/* INT_STATUS */
#define INT_RESELECTED 0x04
#define INT_FUNCTION_COMPLETE 0x08
#define INT_BUS_SERVICE 0x10
#define INT_DISCONNECT 0x20
#define INT_ILLEGAL_COMMAND 0x40
#define INT_BUS_RESET 0x80
#define INT_NO_CHIP 0xFF /* nothing answers at the chip's ports */

/* SEQ_STEP */
#define SEQ_STEP_MASK 0x07

/* FIFO_FLAGS */
#define FIFO_COUNT_MASK 0x1F

/* PIO_STATUS levels */
#define PIO_128_READABLE 0x02
#define PIO_86_READABLE 0x04
#define PIO_44_READABLE_80_WRITABLE 0x08
#define PIO_EMPTY 0x10
#define PIO_TRANSFER_ENDED 0x40
#define PIO_NO_CHIP 0xFF /* full and empty at once: nothing answers at the chip's ports */

/* Register values */
#define CONFIG4_INIT 0x30 /* start of initialisation, before chip and bus resets */
#define CONFIG4_BANK0 0x00
#define CONFIG4_BANK1 0x80
#define CONFIG1_OWN_ID_7 0x87
#define CONFIG1_PARITY 0x10
#define CONFIG2_VALUE 0x48
#define CONFIG3_INIT 0x18
#define CONFIG3_FAST 0x10
#define SYNC_PERIOD_INIT 0x08
#define SYNC_PERIOD_ASYNC 0x0A
#define SYNC_PERIOD_MASK 0x1F
#define SYNC_OFFSET_MODE_BITS 0xC0
#define SEL_TIMEOUT_VALUE 0x99 /* about 250 ms at 40 MHz */
#define CHIP_ID_MASK 0x07
#define PIO_ON 0x01
#define PIO_DIRECTION_IN 0x00
#define PIO_DIRECTION_OUT 0x01

#endif /* ORVO_FAS408_H */
