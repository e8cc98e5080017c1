#pragma once
// A miniport build loaded from its shared module, the way the platform loads a driver image.
// The module resolves its ScsiPort* imports against this library, which is already loaded.

#include "scsiport/scsiport.h"

#include <filesystem>

namespace orvo::scsiport {

using DriverEntryRoutine = ULONG(NTAPI*)(PVOID DriverObject, PVOID RegistryPath);

class DriverModule {
public:
    // Throws std::runtime_error naming the file when it cannot be loaded or has no DriverEntry.
    explicit DriverModule(const std::filesystem::path& file);
    ~DriverModule();
    DriverModule(const DriverModule&) = delete;
    DriverModule& operator=(const DriverModule&) = delete;

    DriverEntryRoutine entry() const { return entry_; }
    const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path file_;
    void* handle_ = nullptr;
    DriverEntryRoutine entry_ = nullptr;
};

} // namespace orvo::scsiport
