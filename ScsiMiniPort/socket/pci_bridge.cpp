#include "ScsiMiniPort/socket/pci_bridge.h"

#include "ScsiMiniPort/engine/fas408.h"

#define PCI_LAST_BUS 16
#define PCI_DEVICES_PER_BUS 32

static ULONG PciConfigAddress(ULONG bus, ULONG device, ULONG function, ULONG reg) {
    return 0x80000000u + bus * 0x10000u + device * 0x800u + function * 0x100u + reg;
}

LONG NTAPI forced_find_pci_device(USHORT deviceId, USHORT vendorId, PULONG bus, PULONG device,
                                  PULONG function) {
    const ULONG wanted = (ULONG)deviceId * 0x10000u + vendorId;
    for (ULONG b = 0; b <= PCI_LAST_BUS; ++b) {
        for (ULONG d = 0; d < PCI_DEVICES_PER_BUS; ++d) {
            ScsiPortWritePortUlong((PULONG)(ULONG_PTR)PCI_CONFIG_ADDRESS_PORT,
                                   PciConfigAddress(b, d, 0, 0));
            if (ScsiPortReadPortUlong((PULONG)(ULONG_PTR)PCI_CONFIG_DATA_PORT) == wanted) {
                *bus = b;
                *device = d;
                *function = 0;
                return 0;
            }
        }
    }
    return -1;
}

VOID NTAPI WriteSRAMData(UCHAR address, UCHAR value, PUCHAR chipBase) {
    ScsiPortWritePortUchar(chipBase + CONFIG4, CONFIG4_BANK1);
    ScsiPortWritePortUchar(chipBase + SRAM_ADDR, address);
    ScsiPortWritePortUchar(chipBase + SRAM_DATA, value);
    ScsiPortWritePortUchar(chipBase + CONFIG4, CONFIG4_BANK0);
}
