#include "scsiport/host/driver_module.h"

#include <dlfcn.h>
#include <stdexcept>
#include <string>

namespace orvo::scsiport {

DriverModule::DriverModule(const std::filesystem::path& file) : file_(file) {
    // RTLD_NOW: an import this library does not provide fails here, not in the middle of a
    // request. RTLD_LOCAL: two builds loaded side by side keep their own symbols.
    handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        throw std::runtime_error("cannot load driver module " + file.string() + ": " +
                                 (why ? why : "unknown error"));
    }
    void* symbol = dlsym(handle_, "DriverEntry");
    if (symbol == nullptr) {
        dlclose(handle_);
        throw std::runtime_error("driver module " + file.string() + " exports no DriverEntry");
    }
    entry_ = reinterpret_cast<DriverEntryRoutine>(symbol);
}

DriverModule::~DriverModule() { dlclose(handle_); }

} // namespace orvo::scsiport
