#pragma once
// The orvo subcommands.

#include "tools/orvo/chaos.h"
#include "tools/orvo/session.h"

#include <filesystem>
#include <string>

namespace orvo::tool {

struct OutputOptions {
    bool json = false;
};

int command_init(const std::filesystem::path& directory);
int command_boot(const SessionOptions& session, const OutputOptions& output);
int command_run(const SessionOptions& session, const OutputOptions& output, const std::string& script);

struct BlockTransfer {
    unsigned target = 0, lun = 0;
    std::uint64_t lba = 0;
    std::optional<std::uint64_t> count;  // blocks; read: required, write: the file's size
    std::filesystem::path file;
};
int command_read(const SessionOptions& session, const OutputOptions& output, const BlockTransfer& transfer);
int command_write(const SessionOptions& session, const OutputOptions& output, const BlockTransfer& transfer);
// Exit status 0 when no check found anything, 3 when one did.
int command_chaos(const ChaosOptions& options, const OutputOptions& output);

} // namespace orvo::tool
