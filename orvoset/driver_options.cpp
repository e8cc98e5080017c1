#include "orvoset/driver_options.h"

#include "orvoset/list_fields.h"
#include "orvoset/registry_ops.h"
#include "orvoset/registry_paths.h"
#include "winapi/registry_api.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <optional>

namespace {

// The per-ID options, in the order in which they are written.
struct IdOption {
    std::string_view word;
    CDriverOptions::IdFlags CDriverOptions::*flags;
};
constexpr IdOption kIdOptions[] = {
    {"/AS", &CDriverOptions::Asynchronous},
    {"/ND", &CDriverOptions::NoDisconnect},
    {"/NS", &CDriverOptions::Excluded},
};

constexpr std::string_view kBusMasterWord = "/BM";
constexpr std::string_view kParityOffWord = "/PARITYOFF";
constexpr std::string_view kIrqWord = "/IRQ:";
constexpr int kHighestIrq = 15;

// Hexadecimal reading after "/IRQ:": leading white space, an optional sign, an optional 0x,
// then hexadecimal digits; large numbers saturate. Without a digit there is no number: a bare
// "/IRQ:" names no IRQ rather than IRQ 0.
std::optional<long> ReadHexadecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::string_view(" \t\r\n\v\f").find(text[i]) != text.npos)
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2])))
        i += 2;
    long value = 0;
    bool any_digit = false;
    for (; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
        char c = text[i];
        int digit = (c >= '0' && c <= '9') ? c - '0' : (c | 0x20) - 'a' + 10;
        value = std::min<long>(value * 16 + digit, INT_MAX);
        any_digit = true;
    }
    if (!any_digit) return std::nullopt;
    return negative ? -value : value;
}

bool AllSet(const CDriverOptions::IdFlags& flags) {
    return std::all_of(flags.begin(), flags.end(), [](BYTE flag) { return flag != 0; });
}

} // namespace

void CDriverOptions::ParseOptions(std::string_view input) {
    Irq = -1;
    ParityOff = 0;
    BusMaster = 0;
    for (const auto& option : kIdOptions)
        (this->*option.flags).fill(0);

    std::string text(input);
    std::replace(text.begin(), text.end(), ' ', ',');
    const int fields = GetListField(text, 0).count; // at most 21
    for (int n = 1; n <= fields; ++n) {
        const std::string field = GetListField(text, n).text;
        if (field.find(kBusMasterWord) != field.npos) BusMaster = 1;
        if (field.find(kParityOffWord) != field.npos) ParityOff = 1;
        if (auto at = field.find(kIrqWord); at != field.npos) {
            auto irq = ReadHexadecimal(std::string_view(field).substr(at + kIrqWord.size()));
            if (irq && *irq >= 0 && *irq <= kHighestIrq) Irq = static_cast<LONG>(*irq);
        }
        for (const auto& option : kIdOptions) {
            auto at = field.find(option.word);
            if (at == field.npos) continue;
            std::string_view rest = std::string_view(field).substr(at + option.word.size());
            IdFlags& flags = this->*option.flags;
            if (rest.empty()) {
                flags.fill(kFlagSet);
                continue;
            }
            int id = ReadDecimal(rest);
            if (id >= 0 && id < kScsiIds) flags[static_cast<std::size_t>(id)] = kFlagSet;
        }
    }
}

std::string CDriverOptions::ComposeOptions() const {
    std::string text;
    for (const auto& option : kIdOptions) {
        const IdFlags& flags = this->*option.flags;
        if (AllSet(flags)) {
            text.append(option.word).append(" ");
            continue;
        }
        for (int id = 0; id < kScsiIds; ++id)
            if (flags[static_cast<std::size_t>(id)])
                text.append(option.word).append(std::to_string(id)).append(" ");
    }
    if (BusMaster) text.append(kBusMasterWord).append(" ");
    if (ParityOff) text.append(kParityOffWord).append(" ");
    return text + UniqueParameter;
}

BOOL CDriverOptions::LoadFromRegistry() {
    if (!IsServiceName(Driver)) return FALSE;
    OpenedKey service;
    if (!OpenKeyRead(HKEY_LOCAL_MACHINE, kServiceKeyPrefix + Driver, service.Receive()))
        return FALSE;
    OpenedKey device;
    std::string text;
    if (OpenKeyRead(service, kDeviceParametersPath, device.Receive()) &&
        QueryStringValue(device, "", kDriverParameterValue, text)) {
        StoredText = text;
        ParseOptions(text);
    }
    return TRUE;
}

BOOL CDriverOptions::SaveToRegistry() const {
    if (!IsServiceName(Driver)) return FALSE;
    const std::string text = ComposeOptions();
    OpenedKey service, parameters, device;
    if (!OpenKeyRead(HKEY_LOCAL_MACHINE, kServiceKeyPrefix + Driver, service.Receive()))
        return FALSE;
    return CreateKeyFull(service, kParametersKey, parameters.Receive()) &&
           CreateKeyFull(parameters, kDeviceKey, device.Receive()) &&
           SetStringValue(device, kDriverParameterValue, text);
}
