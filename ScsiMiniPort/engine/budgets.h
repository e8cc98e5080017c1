/*
 * Poll budgets: every wait of the engine on the chip or on a target is bounded here, and only
 * here.
 *
 * A poll is at least one port access, and a port access costs one I/O cycle (about 1 us on an
 * ISA or PC Card bus), so a budget of N polls gives a device at least N microseconds. The
 * waits for a target are sized for the slowest legitimate case: a disk that spins up or
 * seeks while it holds the bus (the driver never grants disconnection), a CD-ROM's first
 * access. Five seconds covers them with room to spare.
 *
 * A budget that runs out means the target or the chip has stopped making sense: the wait
 * sets Phase to PHASE_TIMEOUT, the phase routine returns at once, and the sequencer ends the
 * connection with its SP_REQUEST_TIMEOUT report. The request stays with its logical unit; the
 * port driver's request time-out and bus reset finish it. A selection whose wait runs out
 * ends as a selection time-out instead.
 *
 * A chip that reads all ones is a card that has been pulled: the sequencer and the message-in
 * and data-in loops end the connection at the next poll (CardGone, PIO_NO_CHIP) instead of
 * running their budgets out against it, so that the call returns at once.
 */
#ifndef ORVO_ENGINE_BUDGETS_H
#define ORVO_ENGINE_BUDGETS_H

/* Polls of the interrupt status while waiting for the chip to report the end of a
   selection, command, status, message or reselection step (>= 5 s). */
#define INTERRUPT_WAIT_POLLS 5000000UL

/* STATUS reads while waiting for a target to leave a command or data phase (>= 5 s). */
#define PHASE_CHANGE_POLLS 5000000UL

/* PIO_STATUS reads in a row without a byte moving through the data FIFO (>= 5 s). */
#define DATA_FIFO_IDLE_POLLS 5000000UL

/* Bytes one data-in phase may collect: the count the chip is given (0xFFFFF) plus a FIFO's
   worth. More means the chip is not counting (a card that reads all ones). */
#define DATA_IN_COUNT 0xFFFFFUL
#define DATA_IN_PHASE_MAX_BYTES (DATA_IN_COUNT + 256UL)

/* Passes of the sequencer in one connection. A well-behaved connection needs a handful (each
   pass either runs a phase routine, which waits on its own budget, or polls once); the
   bound stops a target that never stops sending messages or asking for phases. */
#define SEQUENCER_PASS_BUDGET 100000UL

/* Polls for the reset interrupt after the bus reset command (no stalls between them). */
#define BUS_RESET_POLLS 0x1000000UL

/* Selection attempts that a reselection (or a chip reading all ones) may interrupt before
   the request ends as a selection time-out. */
#define SELECTION_ATTEMPTS 127

#endif /* ORVO_ENGINE_BUDGETS_H */
