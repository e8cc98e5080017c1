// The machine description: the documented default file reads back as the default machine,
// and every kind of bad value is refused with the file and line named.
#include "machine/description.h"
#include "machine/pc.h"
#include "machine/sample_media.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace orvo::machine {
namespace {

TEST(MachineDescription, TheDocumentedDefaultFileIsTheDefaultMachine) {
    const MachineDescription parsed = parse_description(default_description_text(), "/m", "machine.toml");
    const MachineDescription expected = default_description("/m");
    EXPECT_EQ(parsed.os, expected.os);
    EXPECT_EQ(parsed.build, expected.build);
    EXPECT_EQ(parsed.io_cycle, expected.io_cycle);
    EXPECT_EQ(parsed.card.io_base, 0x340u);
    EXPECT_EQ(parsed.card.io_length, 32u);
    EXPECT_EQ(parsed.socket_controller.port, 0x3E0);
    ASSERT_EQ(parsed.devices.size(), expected.devices.size());
    for (std::size_t i = 0; i < parsed.devices.size(); ++i) {
        EXPECT_EQ(parsed.devices[i].id, expected.devices[i].id);
        EXPECT_EQ(parsed.devices[i].kind, expected.devices[i].kind);
        EXPECT_EQ(parsed.devices[i].image, expected.devices[i].image);
        EXPECT_EQ(parsed.devices[i].product, expected.devices[i].product);
    }
    EXPECT_EQ(parsed.devices[0].size_bytes, 64ull << 20);
    EXPECT_EQ(parsed.registry_file(), std::filesystem::path("/m/registry.reg"));
}

TEST(MachineDescription, BehaviourSwitchesAndPciDevicesAreRead) {
    const MachineDescription d = parse_description(R"(
[[device]]
id = 2
type = "disk"
image = "/abs/d.img"
max_offset = 8
min_period_factor = 50
reject_sdtr = true
stuck_phase = "data-in"
data_length_delta = -512
[[pci]]
device = 31
vendor_id = 0x104C
device_id = 0xAC12
)", "/m", "machine.toml");
    ASSERT_EQ(d.devices.size(), 1u);
    const auto& b = d.devices[0].behaviour;
    EXPECT_EQ(b.max_offset, 8);
    EXPECT_EQ(b.min_period_factor, 50);
    EXPECT_TRUE(b.reject_sdtr);
    EXPECT_EQ(b.stuck_phase, scsi::Phase::DataIn);
    EXPECT_EQ(b.data_length_delta, -512);
    EXPECT_EQ(d.resolve(d.devices[0].image), std::filesystem::path("/abs/d.img"));
    ASSERT_EQ(d.pci.size(), 1u);
    EXPECT_EQ(d.pci[0].device, 31);
    EXPECT_EQ(d.pci[0].device_id, 0xAC12);
}

TEST(MachineDescription, BadValuesNameTheFileAndLine) {
    struct Case {
        const char* text;
        const char* message;  // expected within the error
    };
    const Case cases[] = {
        {"[system]\nos = \"dos\"\n", "machine.toml:2: os must be one of"},
        {"[system]\nbuild = \"orvo\"\n", "machine.toml:2: build must be one of"},
        {"[card]\nirq = 16\n", "machine.toml:2: irq = 16 must lie in 0..15"},
        {"[card]\nio_base = 0xFFF0\nio_length = 32\n", "leaves the I/O space"},
        {"[[device]]\nid = 7\nimage = \"a\"\n", "machine.toml:2: id = 7 must lie in 0..6"},
        {"[[device]]\nimage = \"a\"\n", "needs its SCSI id"},
        {"[[device]]\nid = 1\n", "a disk needs an image file"},
        {"[[device]]\nid = 1\nimage = \"a\"\n[[device]]\nid = 1\nimage = \"b\"\n", "SCSI id 1 is used twice"},
        {"[[device]]\nid = 1\nimage = \"a\"\nstuck_phase = \"limbo\"\n", "machine.toml:4: stuck_phase"},
        {"[[device]]\nid = 1\ntype = \"tape\"\n", "type must be \"disk\" or \"cdrom\""},
        {"[card]\nsocket = \"zero\"\n", "machine.toml:2: socket must be a whole number"},
        {"[card]\nbogus = 1\n", "machine.toml:2: unknown key 'bogus' in [card]"},
        {"[system\n", "machine.toml:1:"},
        {"device = 3\n", "devices are written as [[device]] tables"},
        {"[[device]]\nid = 1\nimage = \"a\"\nvendor = \"MUCH TOO LONG\"\n", "longer than 8"},
    };
    for (const Case& c : cases) {
        try {
            parse_description(c.text, "/m", "machine.toml");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const DescriptionError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(MachineDescription, AMissingDirectoryIsNamed) {
    try {
        load_description("/nonexistent/machine");
        ADD_FAILURE();
    } catch (const DescriptionError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/machine/machine.toml"), std::string::npos);
    }
}

struct TempDir {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("orvo-pc-test-" + std::to_string(::getpid()));
    TempDir() { std::filesystem::create_directories(path); }
    ~TempDir() { std::filesystem::remove_all(path); }
};

TEST(SimulatedPc, CreatesMissingDiskImagesSparseAndPlacesTheConfiguredCardPerBuild) {
    TempDir dir;
    write_sample_cd_image(dir.path / "cdrom3.iso");
    SimulatedPc pc(default_description(dir.path));
    EXPECT_EQ(std::filesystem::file_size(dir.path / "disk0.img"), 64ull << 20);
    EXPECT_NE(pc.target(0), nullptr);
    EXPECT_NE(pc.target(3), nullptr);
    EXPECT_EQ(pc.target(1), nullptr);
    EXPECT_EQ(pc.place_configured_card("orvont"), 0x740);
    EXPECT_EQ(pc.place_configured_card("orvo95a"), 0x350);
    EXPECT_EQ(pc.place_configured_card("orvo95"), 0x340);
    // The chip answers there and nowhere else.
    EXPECT_EQ(pc.backplane().ports.device_at(0x340), static_cast<io::PortDevice*>(&pc.chip()));
    EXPECT_EQ(pc.backplane().ports.device_at(0x740), nullptr);
    EXPECT_THROW(pc.place_configured_card("orvontx"), std::invalid_argument);
}

} // namespace
} // namespace orvo::machine
