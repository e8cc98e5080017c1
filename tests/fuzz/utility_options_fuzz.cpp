// The utility's option set: any stored DriverParameter text is parsed, composed again, and the
// composed string must read back to the same options and compose to itself.

#include "orvoset/driver_options.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

// The options the composed string carries (the IRQ is read, never written back).
bool same_composed_options(const CDriverOptions& a, const CDriverOptions& b) {
    return a.ParityOff == b.ParityOff && a.BusMaster == b.BusMaster && a.Asynchronous == b.Asynchronous &&
           a.NoDisconnect == b.NoDisconnect && a.Excluded == b.Excluded;
}

[[noreturn]] void unstable(const char* what, const std::string& first, const std::string& second) {
    std::fprintf(stderr, "option set not stable (%s):\n  first:  \"%s\"\n  second: \"%s\"\n", what,
                 first.c_str(), second.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    CDriverOptions parsed;
    parsed.ParseOptions(text);
    const std::string composed = parsed.ComposeOptions();

    CDriverOptions reread;
    reread.ParseOptions(composed);
    if (!same_composed_options(parsed, reread)) unstable("options", std::string(text), composed);
    const std::string recomposed = reread.ComposeOptions();
    if (recomposed != composed) unstable("string", composed, recomposed);
    return 0;
}
