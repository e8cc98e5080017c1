#pragma once
// Where the utility and the drivers meet in the registry, all under HKEY_LOCAL_MACHINE, keyed
// by the service name that ADAPTER.INI gives (Driver):
//   System\CurrentControlSet\Services\Driver                       the service (presence check)
//   System\CurrentControlSet\Services\Driver\Parameters\Device     "DriverParameter", REG_SZ
//   System\CurrentControlSet\Services\Driver1\Parameters           the card's PCMCIA parameters
//   HARDWARE\DESCRIPTION\System\PCMCIA PCCARDs                      value Driver: resources
//                                                                  assigned at this boot

#include <string>

inline constexpr const char* kServicesKey = "System\\CurrentControlSet\\Services";
inline constexpr const char* kServiceKeyPrefix = "System\\CurrentControlSet\\Services\\";
inline constexpr const char* kDeviceParametersPath = "Parameters\\Device";
inline constexpr const char* kParametersKey = "Parameters";
inline constexpr const char* kDeviceKey = "Device";
inline constexpr const char* kDriverParameterValue = "DriverParameter";
inline constexpr const char* kPcCardsKey = "HARDWARE\\DESCRIPTION\\System\\PCMCIA PCCARDs";

// Whether a service name from ADAPTER.INI can name a service key. An empty name would make
// the service path name the Services key itself, and a backslash would reach some other key:
// the utility would then find a "service" that is not one and write into keys that belong to
// others. Such a name counts as no installed service.
inline bool IsServiceName(const std::string& driver) {
    return !driver.empty() && driver.find('\\') == std::string::npos;
}
