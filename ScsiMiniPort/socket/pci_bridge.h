/* PCI bridge search and the chip's SRAM image, used by every build's initialisation. */
#ifndef ORVO_PCI_BRIDGE_H
#define ORVO_PCI_BRIDGE_H

#include "scsiport/scsiport.h"

#define PCI_CONFIG_ADDRESS_PORT 0xCF8
#define PCI_CONFIG_DATA_PORT 0xCFC
#define PCI_VENDOR_BRIDGE 0x104C
#define PCI_DEVICE_BRIDGE 0xAC12

/* 0 and the location of the first function-0 match on buses 0-16, or -1 (locations untouched). */
LONG NTAPI forced_find_pci_device(USHORT deviceId, USHORT vendorId, PULONG bus, PULONG device,
                                  PULONG function);

/* Writes one byte of the chip's SRAM through register bank 1 and returns to bank 0. */
VOID NTAPI WriteSRAMData(UCHAR address, UCHAR value, PUCHAR chipBase);

#endif
