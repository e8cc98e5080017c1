#include "orvoset/assigned_resources.h"

#include "orvoset/registry_ops.h"
#include "orvoset/registry_paths.h"
#include "winapi/registry_api.h"

namespace {

constexpr DWORD kValueBufferSize = 520;

// Full resource descriptor.
constexpr std::size_t kCountOffset = 12;
constexpr std::size_t kFirstPartialOffset = 16;
constexpr std::size_t kPartialSize = 16;

// Partial resource descriptor.
constexpr std::size_t kTypeOffset = 0;
constexpr std::size_t kFlagsOffset = 2;
constexpr std::size_t kPortStartOffset = 4;
constexpr std::size_t kPortLengthOffset = 12;
constexpr std::size_t kInterruptLevelOffset = 4;
constexpr BYTE kResourceTypePort = 1;
constexpr BYTE kResourceTypeInterrupt = 2;
constexpr WORD kPortFlagIo = 1; // CM_RESOURCE_PORT_IO: the range is in I/O space

WORD ReadWord(const BYTE* bytes) {
    return static_cast<WORD>(bytes[0] | bytes[1] << 8);
}
DWORD ReadDword(const BYTE* bytes) {
    return static_cast<DWORD>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                              static_cast<DWORD>(bytes[3]) << 24);
}

} // namespace

BOOL CAssignedResources::LoadFromRegistry(const std::string& driver) {
    Interrupts.clear();
    PortRanges.clear();
    if (!IsServiceName(driver)) return FALSE;
    BYTE buffer[kValueBufferSize];
    DWORD size = sizeof buffer;
    if (!QueryValueBytes(HKEY_LOCAL_MACHINE, kPcCardsKey, driver.c_str(), buffer, size))
        return FALSE;
    if (size < kFirstPartialOffset) return TRUE; // no room even for the count: nothing listed

    const DWORD count = ReadDword(buffer + kCountOffset);
    for (DWORD i = 0; i < count; ++i) {
        const std::size_t offset = kFirstPartialOffset + std::size_t{i} * kPartialSize;
        if (offset + kPartialSize > size) break;
        const BYTE* partial = buffer + offset;
        switch (partial[kTypeOffset]) {
        case kResourceTypePort:
            if (ReadWord(partial + kFlagsOffset) == kPortFlagIo) {
                WORD start = ReadWord(partial + kPortStartOffset);
                WORD length = ReadWord(partial + kPortLengthOffset);
                PortRanges.push_back({start, length, static_cast<WORD>(start + length)});
            }
            break;
        case kResourceTypeInterrupt:
            Interrupts.push_back(ReadWord(partial + kInterruptLevelOffset));
            break;
        default: // memory, DMA and the rest are not the utility's business
            break;
        }
    }
    return TRUE;
}
