// PC Cards, the socket controller and PCI devices as a machine description names them, and
// the simulated PC built from it.
#include "machine/description.h"
#include "machine/pc.h"
#include "machine/pcmcia/catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace orvo::machine {
namespace {

MachineDescription parse(const std::string& text, const std::filesystem::path& dir = "/m") {
    return parse_description(text, dir, "machine.toml");
}

const char* const kCardsMachine = R"(
[socket_controller]
port = 0x3E4
sockets = 4
id = 0x82
[card]
socket = 2
[[pccard]]
socket = 0
type = "card47"
[[pccard]]
socket = 3
cis = "cards/odd.cis"
[[pci]]
device = 31
vendor_id = 0x104C
device_id = 0xAC12
class_code = 0x060700
)";

TEST(MachineCards, CardsControllerAndPciDevicesAreReadWithTheirValues) {
    const MachineDescription d = parse(kCardsMachine);

    EXPECT_EQ(d.socket_controller.id, 0x82);
    EXPECT_EQ(d.card.socket, 2u);
    ASSERT_EQ(d.pc_cards.size(), 2u);
    EXPECT_EQ(d.pc_cards[0].catalogue, "card47");
    EXPECT_EQ(d.resolve(d.pc_cards[1].cis_file), std::filesystem::path("/m/cards/odd.cis"));
    EXPECT_EQ(d.pci[0].class_code, 0x060700u);
}

TEST(MachineCards, ImpossibleCardPlacementsAreRefusedWithTheLineNamed) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"[[pccard]]\nsocket = 1\n", "machine.toml:1: a PC Card is either a type of the catalogue or a cis file"},
        {"[[pccard]]\nsocket = 1\ntype = \"card47\"\ncis = \"a.cis\"\n", "either a type of the catalogue or a cis file"},
        {"[[pccard]]\ntype = \"card47\"\n", "a PC Card needs its socket"},
        {"[[pccard]]\nsocket = 1\ntype = \"orvo88\"\n", "machine.toml:3: the Orvo-88 is described by the [card] table"},
        {"[[pccard]]\nsocket = 1\ntype = \"scsi99\"\n", "machine.toml:3: type must be one of orvo88, qtv601"},
        {"[[pccard]]\nsocket = 2\ntype = \"card47\"\n", "machine.toml:2: socket 2 is not on a controller with 2 sockets"},
        {"[card]\nsocket = 3\n", "machine.toml:2: socket 3 is not on a controller with 2 sockets"},
        {"[card]\nsocket = 1\n[[pccard]]\nsocket = 1\ntype = \"qtv601\"\n", "machine.toml:4: socket 1 already holds the Orvo-88"},
        {"[[pccard]]\nsocket = 1\ntype = \"qtv601\"\n[[pccard]]\nsocket = 1\ntype = \"qtv604\"\n",
         "machine.toml:5: socket 1 already holds the card of line 1"},
        {"[socket_controller]\npresent = false\n[[pccard]]\nsocket = 0\ntype = \"qtv601\"\n", "needs the socket controller"},
        {"[socket_controller]\nport = 0xCF6\nsockets = 8\n", "machine.toml:2: the socket controller's ports would overlap"},
        {"[socket_controller]\nid = 256\n", "machine.toml:2: id = 256 must lie in 0..255"},
        {"[[pci]]\ndevice = 3\n[[pci]]\ndevice = 3\n", "already described"},
    };
    for (const Case& c : cases) {
        try {
            parse(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const DescriptionError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    // The controller's two ports just below the PCI ports are fine with four sockets or fewer.
    EXPECT_NO_THROW(parse("[socket_controller]\nport = 0xCF6\nsockets = 4\n"));
}

struct Scratch {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("orvo-cards-" + std::to_string(::getpid()));
    Scratch() { std::filesystem::create_directories(dir); }
    ~Scratch() { std::filesystem::remove_all(dir); }
    void write(const char* name, std::size_t size, std::uint8_t fill) {
        std::ofstream(dir / name, std::ios::binary) << std::string(size, static_cast<char>(fill));
    }
};

TEST(MachineCards, ThePcHoldsTheDescribedCardsAndPciFunctions) {
    Scratch scratch;
    std::filesystem::create_directories(scratch.dir / "cards");
    scratch.write("cards/odd.cis", 16, 0x15);
    SimulatedPc pc(parse(kCardsMachine, scratch.dir));

    pcmcia::SocketController* controller = pc.socket_controller();
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(pc.backplane().ports.device_at(0x3E4), controller);
    EXPECT_EQ(controller->peek(0, 0x00), 0x82);
    EXPECT_EQ(controller->card(0)->name(), "card47");
    EXPECT_EQ(controller->card(1), nullptr);
    EXPECT_EQ(controller->card(2), pc.orvo88());
    EXPECT_EQ(controller->card(3)->cis(), std::vector<std::uint8_t>(16, 0x15));
    EXPECT_EQ(pc.chip_base(), std::nullopt) << "the chip waits for the card to be set up";
    EXPECT_EQ(pc.pci().read_register(0, 31, 0, 0), 0xAC12104Cu);
    EXPECT_EQ(pc.backplane().ports.device_at(0xCFC), &pc.pci());
}

TEST(MachineCards, AMissingOrOversizedCisFileIsNamed) {
    Scratch scratch;
    scratch.write("big.cis", pcmcia::PcCard::kMaxCisBytes + 1, 0);
    for (const char* file : {"missing.cis", "big.cis"}) {
        try {
            SimulatedPc pc(parse(std::string("[[pccard]]\nsocket = 1\ncis = \"") + file + "\"\n", scratch.dir));
            ADD_FAILURE() << file;
        } catch (const DescriptionError& e) {
            EXPECT_NE(std::string(e.what()).find((scratch.dir / file).string()), std::string::npos) << e.what();
        }
    }
}

} // namespace
} // namespace orvo::machine
