#pragma once
// A chip rig with one target and commands run end to end, for the device tests.

#include "chip_rig.h"

#include "machine/scsi/target.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>
#include <string>

namespace orvo::test {

// A fresh path in the test temp directory, removed again when the holder goes away. The
// name carries the test's name and the process, since tests run side by side.
struct TempFile {
    std::filesystem::path path;
    explicit TempFile(const std::string& name) {
        std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(test.begin(), test.end(), '/', '_');
        path = std::filesystem::path(::testing::TempDir()) / (test + "_" + std::to_string(::getpid()) + "_" + name);
        std::filesystem::remove(path);
    }
    ~TempFile() { std::filesystem::remove(path); }
};

struct DeviceRig {
    ChipRig rig;
    scsi::ScsiTarget target;

    explicit DeviceRig(std::uint8_t id = 0, scsi::TargetBehaviour b = {}) : target(rig.bus, id, b) { rig.init(); }

    Exchange run(std::vector<std::uint8_t> cdb, std::uint32_t in = 0, std::vector<std::uint8_t> out = {},
                 std::uint8_t lun = 0) {
        return rig.run({.target = target.id(), .lun = lun, .cdb = std::move(cdb), .data_in = in, .data_out = std::move(out)});
    }
    // Sense key, ASC, ASCQ from REQUEST SENSE.
    std::array<std::uint8_t, 3> sense(std::uint8_t lun = 0) {
        const Exchange x = run({0x03, 0, 0, 0, 18, 0}, 18, {}, lun);
        if (x.data.size() < 14) return {0xFF, 0xFF, 0xFF};
        return {std::uint8_t(x.data[2] & 0x0F), x.data[12], x.data[13]};
    }
    // Clears the power-on unit attention.
    void settle() {
        run({0, 0, 0, 0, 0, 0});
        sense();
    }
};

inline std::vector<std::uint8_t> cdb10(std::uint8_t op, std::uint32_t lba, std::uint16_t blocks, std::uint8_t flags = 0) {
    return {op, flags, std::uint8_t(lba >> 24), std::uint8_t(lba >> 16), std::uint8_t(lba >> 8), std::uint8_t(lba), 0,
            std::uint8_t(blocks >> 8), std::uint8_t(blocks), 0};
}

inline std::vector<std::uint8_t> pattern(std::size_t n, unsigned seed = 1) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = std::uint8_t((i * 31 + seed * 17) ^ (i >> 8));
    return v;
}

} // namespace orvo::test
