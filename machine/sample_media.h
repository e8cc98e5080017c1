#pragma once
// Media a new machine starts with: a CD image with an ISO 9660 volume descriptor and some
// recognisable data, so that reads from the drive can be checked.

#include <cstdint>
#include <filesystem>

namespace orvo::machine {

// Writes a CD image of `blocks` 2048-byte blocks (at least 32). Throws std::runtime_error.
void write_sample_cd_image(const std::filesystem::path& file, std::uint32_t blocks = 512);

// The byte a sample CD image holds at `offset` outside its volume descriptor.
std::uint8_t sample_cd_byte(std::uint64_t offset);

} // namespace orvo::machine
