#pragma once
// CDriverOptions: the utility's option set behind the driver's option string DriverParameter.
//
// The utility writes only the per-ID options and two flags, in a fixed order, every item
// followed by one blank, and the unique-parameter text verbatim at the end:
//   /AS<n> ... (or "/AS " for all eight IDs)   /ND<n> ... ("/ND ")   /NS<n> ... ("/NS ")
//   /BM   /PARITYOFF   <unique text>
// e.g. "/AS5 /AS6 /NS3 /BM /PARITYOFF ". Reading takes back those options and "/IRQ:"; whatever
// else the stored string held is dropped at the next save.

#include "winapi/win32_types.h"

#include <array>
#include <string>
#include <string_view>

class CDriverOptions {
  public:
    static constexpr int kScsiIds = 8;
    // A per-ID flag counts as set when not 0; reading stores this value.
    static constexpr BYTE kFlagSet = 0xFF;
    using IdFlags = std::array<BYTE, kScsiIds>;

    explicit CDriverOptions(std::string driver = {}) : Driver(std::move(driver)) {}

    LONG Irq = -1;               // "/IRQ:" of the stored string; -1 when none
    LONG ParityOff = 0;          // "/PARITYOFF"
    LONG BusMaster = 0;          // "/BM"
    IdFlags Asynchronous{};      // "/AS": no synchronous negotiation with that ID
    IdFlags NoDisconnect{};      // "/ND"
    IdFlags Excluded{};          // "/NS": that ID is never selected
    std::string StoredText;      // DriverParameter exactly as read
    std::string UniqueParameter; // free text appended to the composed string
    std::string Driver;          // service name

    // Every field compared; the main flow rewrites the string only when the set changed.
    bool operator==(const CDriverOptions&) const = default;

    // TRUE exactly when the driver's service key exists. A missing Parameters\Device key or
    // DriverParameter value leaves every option at its initial value.
    BOOL LoadFromRegistry();
    // Composes the string and writes it, creating Parameters\Device when missing; TRUE when
    // the write succeeded. Nothing is written when the service key does not exist.
    BOOL SaveToRegistry() const;

    // Clears the IRQ and every flag, then takes the options of text (the texts are kept).
    void ParseOptions(std::string_view text);
    std::string ComposeOptions() const;
};
