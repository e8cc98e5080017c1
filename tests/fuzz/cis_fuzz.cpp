// The CIS tuple walk and card identification of orvontx: the input is a card's 4 KiB attribute
// memory as the attribute window shows it (CIS byte k at offset 2k; a shorter input is padded
// with 0xFF, as unused attribute memory reads). The window is a heap block of exactly 4 KiB, so
// the sanitizer stops any read past it.
//
// Checked for every input: the walk copies the right entry's body, cut to the caller's buffer
// and to the window, and writes nothing else; identification, run in driver context against
// the socket controller model with a card present, answers the known card whose strings the
// card shows, or none.

#include "ScsiMiniPort/socket/card_identify.h"
#include "ScsiMiniPort/socket/pcic365.h"
#include "machine/io/backplane.h"
#include "machine/pcmcia/catalogue.h"
#include "machine/pcmcia/socket_controller.h"
#include "scsiport/host/port_driver.h"
#include "tests/fuzz/harness_checks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvo::fuzz {
namespace {

constexpr std::uint8_t kUntouched = 0xA5;  // what the caller's buffer holds before the walk

// ---- What the card shows, read independently of the driver ----------------------------------

// The first entry with the code, following the links from offset 0 up to the walk's limit.
std::optional<ULONG> first_entry(const std::uint8_t* window, std::uint8_t code) {
    for (ULONG at = 0; at < CIS_WALK_LIMIT; at += 4 + 2 * ULONG{window[at + 2]}) {
        if (window[at] == code) return at;
    }
    return std::nullopt;
}

// The body bytes of the entry at `at` that lie inside the window, at most `limit` of them.
std::vector<std::uint8_t> visible_body(const std::uint8_t* window, ULONG at, std::size_t limit) {
    std::vector<std::uint8_t> body;
    for (ULONG i = 0; i < window[at + 2] && body.size() < limit; ++i) {
        const ULONG offset = at + 4 + 2 * i;
        if (offset >= ATTRIBUTE_WINDOW_SIZE) break;
        body.push_back(window[offset]);
    }
    return body;
}

// The complete (NUL-terminated) strings after the version bytes.
std::vector<std::string> version_strings(const std::vector<std::uint8_t>& body) {
    std::vector<std::string> strings;
    std::string current;
    for (std::size_t i = VERS_1_VERSION_BYTES; i < body.size(); ++i) {
        if (body[i] == 0) {
            strings.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(body[i]));
        }
    }
    return strings;
}

struct KnownCard {
    std::vector<std::string> strings;  // the card's first strings must be exactly these
    ULONG type;
};
// The cards the driver knows, in the order it tries them.
const std::vector<KnownCard>& known_cards() {
    static const std::vector<KnownCard> cards = {
        {{"PCMCIA SCSI QTV20601", "01"}, CARD_TYPE_QTV601},
        {{"PCMCIA SCSI QTV20604", "01"}, CARD_TYPE_QTV604},
        {{"0917 KELMAR System Inc.", "ORVO61 SCSI2 CARD", "PNPB417"}, CARD_TYPE_CARD230},
        {{"PCMCIA SCSI2 CARD-210", "01"}, CARD_TYPE_CARD210},
        {{"KELMAR System Inc.", "SCSI2 CARD 47"}, CARD_TYPE_CARD47},
        {{"SUVANE INFO.", "SCSI2 CARD 47"}, CARD_TYPE_CARD47},
        {{"KELMAR System Inc.", "SOUND/SCSI2 CARD 88"}, CARD_TYPE_SOUND_SCSI},
    };
    return cards;
}

ULONG expected_card_type(const std::uint8_t* window) {
    const std::optional<ULONG> vers_1 = first_entry(window, CISTPL_VERS_1);
    if (!vers_1) return CARD_TYPE_NONE;
    const std::vector<std::string> shown = version_strings(visible_body(window, *vers_1, VERS_1_BUFFER_SIZE));
    for (const KnownCard& card : known_cards()) {
        if (shown.size() >= card.strings.size() && std::equal(card.strings.begin(), card.strings.end(), shown.begin())) {
            return card.type;
        }
    }
    return CARD_TYPE_NONE;
}

// ---- The driver's walk ------------------------------------------------------------------------

// get_tupledata into a heap buffer of exactly `size` bytes: the body as far as it is visible
// and fits, and not a byte more.
void check_walk(const std::uint8_t* window, std::uint8_t code, ULONG size) {
    const std::unique_ptr<UCHAR[]> buffer(new UCHAR[size]);
    std::memset(buffer.get(), kUntouched, size);
    const ULONG result = get_tupledata(window, code, buffer.get(), size);
    const std::optional<ULONG> entry = first_entry(window, code);
    if (result != (entry ? 0u : 1u)) {
        property_broken("walk for code 0x%02X answered %lu, the entry is %s", unsigned{code},
                        static_cast<unsigned long>(result), entry ? "there" : "absent");
    }
    const std::vector<std::uint8_t> body = entry ? visible_body(window, *entry, size) : std::vector<std::uint8_t>{};
    for (ULONG i = 0; i < size; ++i) {
        const std::uint8_t expected = i < body.size() ? body[i] : kUntouched;
        if (buffer[i] != expected) {
            property_broken("walk for code 0x%02X, buffer of %lu: byte %lu is 0x%02X, not 0x%02X", unsigned{code},
                            static_cast<unsigned long>(size), static_cast<unsigned long>(i), unsigned{buffer[i]},
                            unsigned{expected});
        }
    }
}

// ---- Identification in driver context ---------------------------------------------------------

// A socket controller with one card in its socket, served by the port driver. Identification
// only reads the socket's status, so one rig serves every input.
struct IdentificationRig {
    io::Backplane machine;
    pcmcia::SocketController controller{machine.memory, {PCIC_DEFAULT_PORT, 1, pcmcia::id::kDefault}};
    pcmcia::PcCard card{pcmcia::catalogue_card("card47")};
    scsiport::PortDriver host{machine};

    IdentificationRig() {
        controller.attach(machine.ports);
        controller.insert_card(0, card);
        host.allow_platform_ports(PCIC_DEFAULT_PORT, controller.port_count());
    }
    ~IdentificationRig() { controller.detach(); }

    void check(const std::uint8_t* window) {
        ADAPTER_EXTENSION ad;
        std::memset(&ad, 0, sizeof ad);
        ad.PcicPort = ad.PcicIndexPort = PCIC_DEFAULT_PORT;
        ad.PcicDataPort = PCIC_DEFAULT_PORT + 1;
        ad.CorOffset = 0x400;  // left from an earlier attempt
        ad.ConfigIndex = 0x61;
        ULONG type = 0xEE;
        const ULONG result = host.call_in_driver_context([&] { return orvo61x_check(&ad, window, &type); });
        require_clean_contract(host, "in identification");
        const ULONG expected = expected_card_type(window);
        if (type != expected || result != (expected == CARD_TYPE_NONE ? 1u : 0u)) {
            property_broken("identification answered %lu with type %lu; the card shows type %lu",
                            static_cast<unsigned long>(result), static_cast<unsigned long>(type),
                            static_cast<unsigned long>(expected));
        }
        if (ad.CorOffset != 0 || ad.ConfigIndex != 0) property_broken("identification kept an old configuration");
    }
};

} // namespace
} // namespace orvo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvo::fuzz;
    static IdentificationRig rig;

    const std::unique_ptr<std::uint8_t[]> window(new std::uint8_t[ATTRIBUTE_WINDOW_SIZE]);
    std::memset(window.get(), 0xFF, ATTRIBUTE_WINDOW_SIZE);
    std::memcpy(window.get(), data, std::min<std::size_t>(size, ATTRIBUTE_WINDOW_SIZE));

    // The caller's buffer, a buffer smaller than most bodies (its size taken from an odd
    // address, which the walk never reads), and any code (from another odd address).
    check_walk(window.get(), CISTPL_VERS_1, VERS_1_BUFFER_SIZE);
    check_walk(window.get(), CISTPL_VERS_1, window[1] % 16);
    check_walk(window.get(), window[3], 255);
    rig.check(window.get());
    return 0;
}
