// Port operations through the host: the claim check, the platform ports, and buffered
// transfers that reach the device in one call.
#include "fake_miniport.h"

#include <cstring>

namespace orvo::scsiport::testing {
namespace {

// Records every call it gets; buffered calls keep their element count and width.
struct RecordingDevice : io::PortDevice {
    struct Call {
        char op;
        std::uint16_t port;
        std::uint32_t count_or_value;
        unsigned width;
        bool operator==(const Call&) const = default;
    };
    std::vector<Call> calls;
    std::vector<std::uint8_t> written;

    std::uint32_t port_read(std::uint16_t port, unsigned width) override {
        calls.push_back({'r', port, 0, width});
        return 0x12345678;
    }
    void port_write(std::uint16_t port, std::uint32_t value, unsigned width) override {
        calls.push_back({'w', port, value, width});
    }
    void port_read_buffer(std::uint16_t port, void* dst, std::uint32_t count, unsigned width) override {
        calls.push_back({'R', port, count, width});
        auto* bytes = static_cast<std::uint8_t*>(dst);
        for (std::size_t i = 0; i < std::size_t(count) * width; ++i) bytes[i] = static_cast<std::uint8_t>(i);
    }
    void port_write_buffer(std::uint16_t port, const void* src, std::uint32_t count, unsigned width) override {
        calls.push_back({'W', port, count, width});
        const auto* bytes = static_cast<const std::uint8_t*>(src);
        written.insert(written.end(), bytes, bytes + std::size_t(count) * width);
    }
};

class PortTest : public HostTest {
protected:
    RecordingDevice device;
    std::function<void(PVOID extension)> during_request;

    // A chip at 0x290 (mapped by discovery) and a card range 0x300-0x31F (reported to the
    // port driver); every request runs during_request.
    void boot_with_chip() {
        fake.find_adapter = [](PVOID extension, PCHAR, PPORT_CONFIGURATION_INFORMATION c) {
            ScsiPortGetDeviceBase(extension, Isa, 0, ScsiPortConvertUlongToPhysicalAddress(0x290), 0x10, TRUE);
            c->AccessRanges[0].RangeStart = ScsiPortConvertUlongToPhysicalAddress(0x300);
            c->AccessRanges[0].RangeLength = 0x20;
            return ULONG{SP_RETURN_FOUND};
        };
        fake.start_io = [this](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
            during_request(extension);
            FakeMiniport::complete_at_once(extension, srb);
        };
        boot();
    }
    void run_request() {
        submit(0);
        host->run_until_idle();
    }
};

TEST_F(PortTest, AccessesOutsideTheClaimedRangesAreReportedOncePerPort) {
    guard.expect(ViolationKind::PortOutsideClaim);
    machine.ports.map(0x100, 8, &device);
    boot_with_chip();
    host->allow_platform_ports(0x104, 4);  // as the system layer may

    struct Case {
        std::uintptr_t port;
        unsigned width;
        bool allowed;
    };
    const Case cases[] = {
        {0x290, 1, true},   // mapped chip register
        {0x29F, 1, true},   // last mapped port
        {0x2A0, 1, false},  // one past the mapping
        {0x31F, 1, true},   // reported access range
        {0x3E1, 1, true},   // socket controller candidate
        {0xFFF7, 1, true},  // socket controller candidate at the top
        {0xCF8, 4, true},   // PCI configuration address
        {0xCFC, 4, true},   // PCI configuration data
        {0xCFE, 4, false},  // runs past the PCI ports
        {0x100, 1, false},  // a device's port nobody claimed
        {0x104, 4, true},   // added platform ports
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << "port " << c.port << " width " << c.width);
        const auto before = host->contract().count(ViolationKind::PortOutsideClaim);
        during_request = [&](PVOID) {
            if (c.width == 4) {
                ScsiPortReadPortUlong(reinterpret_cast<PULONG>(c.port));
            } else {
                ScsiPortReadPortUchar(reinterpret_cast<PUCHAR>(c.port));
            }
        };
        run_request();
        EXPECT_EQ(host->contract().count(ViolationKind::PortOutsideClaim) - before, c.allowed ? 0u : 1u);
    }

    // The check observes; the machine still sees the access. A port is reported once.
    device.calls.clear();
    const auto before = host->contract().count(ViolationKind::PortOutsideClaim);
    during_request = [](PVOID) { ScsiPortWritePortUchar(reinterpret_cast<PUCHAR>(0x100), 0x5A); };
    run_request();
    EXPECT_EQ(device.calls, (std::vector<RecordingDevice::Call>{{'w', 0x100, 0x5A, 1}}));
    EXPECT_EQ(host->contract().count(ViolationKind::PortOutsideClaim), before);

    // An address beyond the port space is not performed at all.
    UCHAR value = 0;
    during_request = [&](PVOID) { value = ScsiPortReadPortUchar(reinterpret_cast<PUCHAR>(0x12345)); };
    run_request();
    EXPECT_EQ(value, 0xFF);
    EXPECT_EQ(host->contract().count(ViolationKind::PortOutsideClaim), before + 1);
}

TEST_F(PortTest, BufferedOperationsReachTheDeviceInOneCallAndCostOneCyclePerElement) {
    machine.ports.map(0x290, 0x10, &device);
    boot_with_chip();
    std::uint8_t bytes_in[128] = {};
    ULONG words_in[32] = {};
    std::uint8_t bytes_out[3] = {1, 2, 3};
    USHORT halves_out[2] = {0x0504, 0x0706};
    ULONG words_out[1] = {0x0B0A0908};
    io::Nanoseconds spent = 0;
    during_request = [&](PVOID) {
        const io::Nanoseconds start = now();
        ScsiPortReadPortBufferUchar(reinterpret_cast<PUCHAR>(0x294), bytes_in, 128);
        ScsiPortReadPortBufferUlong(reinterpret_cast<PULONG>(0x294), words_in, 32);
        ScsiPortWritePortBufferUchar(reinterpret_cast<PUCHAR>(0x294), bytes_out, 3);
        ScsiPortWritePortBufferUshort(reinterpret_cast<PUSHORT>(0x294), halves_out, 2);
        ScsiPortWritePortBufferUlong(reinterpret_cast<PULONG>(0x294), words_out, 1);
        spent = now() - start;
    };
    run_request();

    using Call = RecordingDevice::Call;
    EXPECT_EQ(device.calls, (std::vector<Call>{{'R', 0x294, 128, 1}, {'R', 0x294, 32, 4}, {'W', 0x294, 3, 1},
                                               {'W', 0x294, 2, 2}, {'W', 0x294, 1, 4}}));
    EXPECT_EQ(bytes_in[127], 127);
    std::uint8_t first_word[4];
    std::memcpy(first_word, &words_in[0], 4);
    EXPECT_EQ(first_word[3], 3);
    EXPECT_EQ(device.written, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(spent, (128 + 32 + 3 + 2 + 1) * machine.ports.cycle());
}

TEST_F(PortTest, SingleAccessesCarryTheirWidthAndValue) {
    machine.ports.map(0x290, 0x10, &device);
    machine.ports.map(0xCF8, 8, &device);
    boot_with_chip();
    UCHAR byte = 0;
    ULONG word = 0;
    during_request = [&](PVOID) {
        ScsiPortWritePortUchar(reinterpret_cast<PUCHAR>(0x293), 0x43);
        byte = ScsiPortReadPortUchar(reinterpret_cast<PUCHAR>(0x294));
        ScsiPortWritePortUlong(reinterpret_cast<PULONG>(0xCF8), 0x80000000);
        word = ScsiPortReadPortUlong(reinterpret_cast<PULONG>(0xCFC));
    };
    run_request();
    using Call = RecordingDevice::Call;
    EXPECT_EQ(device.calls, (std::vector<Call>{{'w', 0x293, 0x43, 1}, {'r', 0x294, 0, 1},
                                               {'w', 0xCF8, 0x80000000, 4}, {'r', 0xCFC, 0, 4}}));
    EXPECT_EQ(byte, 0x78);
    EXPECT_EQ(word, 0x12345678u);
}

} // namespace
} // namespace orvo::scsiport::testing
