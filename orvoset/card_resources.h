#pragma once
// CCardResources: the card's PCMCIA parameters in the service's instance key
// System\CurrentControlSet\Services\<Driver>1\Parameters, which the operating system's PCMCIA
// support reads when it configures the card at boot. -1 means absent when reading and not to
// be written when writing.

#include "winapi/win32_types.h"

#include <string>

class CCardResources {
  public:
    explicit CCardResources(std::string driver = {}) : Driver(std::move(driver)) {}

    LONG InterruptNumber = -1;
    LONG IoBaseAddress = -1;
    LONG IoLength = -1;
    LONG IoBaseAddress_1 = -1;
    LONG IoLength_1 = -1;
    std::string Driver;

    // Success only for "Pcmcia" present and not 1 (nothing read), or "Pcmcia" = 1 with an
    // "IoLength_1" value; "Pcmcia" = 1 without it reads the values but reports failure, and
    // the caller then ignores them.
    BOOL LoadFromRegistry();
    // Deletes the instance key with everything below it and writes it afresh: "Pcmcia" = 1,
    // then the I/O values when the base is set (the second range when its base is neither 0
    // nor -1), then "InterruptNumber" when the IRQ is set. TRUE when every write succeeded.
    BOOL SaveToRegistry() const;
};
