#include "orvoset/card_resources.h"

#include "orvoset/registry_ops.h"
#include "orvoset/registry_paths.h"
#include "winapi/registry_api.h"

namespace {

constexpr const char* kPcmciaValue = "Pcmcia";
constexpr const char* kIoBaseAddressValue = "IoBaseAddress";
constexpr const char* kIoLengthValue = "IoLength";
constexpr const char* kIoBaseAddress1Value = "IoBaseAddress_1";
constexpr const char* kIoLength1Value = "IoLength_1";
constexpr const char* kInterruptNumberValue = "InterruptNumber";
constexpr DWORD kPcmciaConfigured = 1;

std::string InstanceKeyName(const std::string& driver) {
    return driver + "1";
}

// A missing value keeps the field as it was.
void ReadField(HKEY key, const char* name, LONG& field) {
    DWORD value = 0;
    if (QueryDwordValue(key, name, value)) field = static_cast<LONG>(value);
}

} // namespace

BOOL CCardResources::LoadFromRegistry() {
    if (!IsServiceName(Driver)) return FALSE;
    OpenedKey services, instance, parameters;
    if (!OpenKeyRead(HKEY_LOCAL_MACHINE, kServicesKey, services.Receive())) return FALSE;
    DWORD pcmcia = 0;
    BOOL status = OpenKeyRead(services, InstanceKeyName(Driver), instance.Receive()) &&
                  OpenKeyRead(instance, kParametersKey, parameters.Receive()) &&
                  QueryDwordValue(parameters, kPcmciaValue, pcmcia);
    if (status && pcmcia == kPcmciaConfigured) {
        ReadField(parameters, kIoBaseAddressValue, IoBaseAddress);
        ReadField(parameters, kIoLengthValue, IoLength);
        ReadField(parameters, kInterruptNumberValue, InterruptNumber);
        DWORD length1 = 0;
        status = QueryDwordValue(parameters, kIoLength1Value, length1);
        if (status) {
            IoLength_1 = static_cast<LONG>(length1);
            ReadField(parameters, kIoBaseAddress1Value, IoBaseAddress_1);
        } else {
            IoBaseAddress_1 = 0;
            IoLength_1 = 0;
        }
    }
    return status;
}

BOOL CCardResources::SaveToRegistry() const {
    if (!IsServiceName(Driver)) return FALSE;
    OpenedKey services, instance, parameters;
    if (!OpenKeyRead(HKEY_LOCAL_MACHINE, kServicesKey, services.Receive())) return FALSE;
    const std::string instance_name = InstanceKeyName(Driver);
    // Nothing of the previous parameters may survive: values this save leaves out mean
    // "automatic" to the PCMCIA support.
    if (KeyExists(services, instance_name)) DeleteKeyTree(services, instance_name);
    if (!CreateKeyFull(services, instance_name, instance.Receive()) ||
        !CreateKeyFull(instance, kParametersKey, parameters.Receive()))
        return FALSE;

    BOOL written = SetDwordValue(parameters, kPcmciaValue, kPcmciaConfigured);
    auto write = [&](const char* name, LONG value) {
        if (!SetDwordValue(parameters, name, static_cast<DWORD>(value))) written = FALSE;
    };
    if (IoBaseAddress != -1) {
        write(kIoBaseAddressValue, IoBaseAddress);
        write(kIoLengthValue, IoLength);
        if (IoBaseAddress_1 != 0 && IoBaseAddress_1 != -1) {
            write(kIoBaseAddress1Value, IoBaseAddress_1);
            write(kIoLength1Value, IoLength_1);
        }
    }
    if (InterruptNumber != -1) write(kInterruptNumberValue, InterruptNumber);
    return written;
}
