#include "machine/sample_media.h"

#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace orvo::machine {

namespace {
constexpr std::uint32_t kBlock = 2048;
constexpr std::uint32_t kVolumeDescriptorBlock = 16;
} // namespace

std::uint8_t sample_cd_byte(std::uint64_t offset) {
    const std::uint64_t block = offset / kBlock;
    return static_cast<std::uint8_t>((offset % kBlock) ^ (block * 7));
}

void write_sample_cd_image(const std::filesystem::path& file, std::uint32_t blocks) {
    if (blocks < 32) blocks = 32;
    std::vector<std::uint8_t> image(std::size_t(blocks) * kBlock);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = sample_cd_byte(i);
    // Primary volume descriptor, then the set terminator.
    std::uint8_t* pvd = image.data() + kVolumeDescriptorBlock * kBlock;
    std::memset(pvd, 0, 2 * kBlock);
    pvd[0] = 1;
    std::memcpy(pvd + 1, "CD001", 5);
    pvd[6] = 1;
    std::memset(pvd + 8, ' ', 32);
    std::memset(pvd + 40, ' ', 32);
    std::memcpy(pvd + 40, "ORVO88_SAMPLE", 13);
    for (int i = 0; i < 4; ++i) {  // volume space size, both byte orders
        pvd[80 + i] = static_cast<std::uint8_t>(blocks >> (8 * i));
        pvd[87 - i] = static_cast<std::uint8_t>(blocks >> (8 * i));
    }
    pvd[120] = 1;  // volume set size 1
    pvd[123] = 1;
    pvd[124] = 1;  // sequence number 1
    pvd[127] = 1;
    pvd[128] = kBlock & 0xFF;  // logical block size 2048
    pvd[129] = kBlock >> 8;
    pvd[130] = kBlock >> 8;
    pvd[131] = kBlock & 0xFF;
    std::uint8_t* terminator = pvd + kBlock;
    terminator[0] = 255;
    std::memcpy(terminator + 1, "CD001", 5);
    terminator[6] = 1;

    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!out) throw std::runtime_error(file.string() + ": cannot write the CD image");
}

} // namespace orvo::machine
