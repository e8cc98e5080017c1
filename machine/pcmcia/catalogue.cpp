#include "machine/pcmcia/catalogue.h"

#include "machine/pcmcia/cis_builder.h"

#include <fstream>
#include <stdexcept>

namespace orvo::pcmcia {

namespace {

struct CatalogueEntry {
    const char* name;
    std::vector<std::string> vers_1;
    std::uint16_t manufacturer;
    std::uint16_t card_id;
    bool scsi_function;  // carries the FAS408 (the Orvo-88 only)
};

const std::vector<CatalogueEntry>& entries() {
    static const std::vector<CatalogueEntry> table = {
        {"orvo88", {"KELMAR System Inc.", "SOUND/SCSI2 CARD 88", "1.00"}, 0x0917, 0x0088, true},
        {"qtv601", {"PCMCIA SCSI QTV20601", "01"}, 0x0A31, 0x0601, false},
        {"qtv604", {"PCMCIA SCSI QTV20604", "01"}, 0x0A31, 0x0604, false},
        {"card230", {"0917 KELMAR System Inc.", "ORVO61 SCSI2 CARD", "PNPB417"}, 0x0917, 0x0230, false},
        {"card210", {"PCMCIA SCSI2 CARD-210", "01"}, 0x0917, 0x0210, false},
        {"card47", {"KELMAR System Inc.", "SCSI2 CARD 47"}, 0x0917, 0x0047, false},
        {"woxra2", {"SUVANE INFO.", "SCSI2 CARD 47"}, 0x0C55, 0x0047, false},
    };
    return table;
}

constexpr std::uint8_t kFunctionScsi = 0x08;
constexpr std::uint8_t kConfigIndexLow = 0x20;   // 32 ports, function in the upper half
constexpr std::uint8_t kConfigIndexHigh = 0x21;  // 32 ports, function in the lower half

// The tuples such a card carries: no common memory, its strings, maker and function, where
// its configuration registers are, and two I/O configurations of 32 ports (5 address lines,
// 8- or 16-bit) with a level interrupt on the usual ISA IRQs.
std::vector<std::uint8_t> build_cis(const CatalogueEntry& e) {
    const std::uint8_t irq_mask_low = 0xB8;   // IRQ 3, 4, 5, 7
    const std::uint8_t irq_mask_high = 0xDE;  // IRQ 9, 10, 11, 12, 14, 15
    CisBuilder cis;
    cis.add(tuple::kDevice, {0x00, 0x00, 0xFF})
        .vers_1(e.vers_1)
        .add(tuple::kManfid, {static_cast<std::uint8_t>(e.manufacturer), static_cast<std::uint8_t>(e.manufacturer >> 8),
                              static_cast<std::uint8_t>(e.card_id), static_cast<std::uint8_t>(e.card_id >> 8)})
        .add(tuple::kFuncid, {kFunctionScsi, 0x00})
        // one address byte, one mask byte; last index; registers at 0x400; COR and CSR present
        .add(tuple::kConfig, {0x01, kConfigIndexHigh, 0x00, 0x04, 0x03})
        // default entry with interface byte; I/O and IRQ features
        .add(tuple::kCftableEntry, {0xC0 | kConfigIndexLow, 0x01, 0x18, 0x65, 0x30, irq_mask_low, irq_mask_high})
        .add(tuple::kCftableEntry, {kConfigIndexHigh, 0x18, 0x65, 0x30, irq_mask_low, irq_mask_high})
        .add(tuple::kNoLink, {})
        .end();
    return cis.bytes();
}

} // namespace

const std::vector<std::string>& catalogue_names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const CatalogueEntry& e : entries()) n.emplace_back(e.name);
        return n;
    }();
    return names;
}

bool is_catalogue_card(std::string_view name) {
    for (const CatalogueEntry& e : entries()) {
        if (name == e.name) return true;
    }
    return false;
}

std::string catalogue_list() {
    std::string list;
    for (const std::string& name : catalogue_names()) list += (list.empty() ? "" : ", ") + name;
    return list;
}

CardModel catalogue_card(std::string_view name) {
    for (const CatalogueEntry& e : entries()) {
        if (name != e.name) continue;
        CardModel model{e.name, build_cis(e), std::nullopt};
        if (e.scsi_function) {
            // The FAS408 takes 16 of the 32 decoded ports: the upper half under index 0x20,
            // the lower half under 0x21, so that it lands at I/O base + 0x10 either way.
            model.function = IoFunction{32, 16, {{kConfigIndexLow, 0x10}, {kConfigIndexHigh, 0x00}}};
        }
        return model;
    }
    throw std::invalid_argument("no card '" + std::string(name) + "' in the catalogue (" + catalogue_list() + ")");
}

CardModel card_from_cis_file(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error(file.string() + ": cannot be read");
    std::vector<std::uint8_t> bytes;
    // Read one byte past the limit so that an oversized file is told apart without reading it all.
    char c;
    while (bytes.size() <= PcCard::kMaxCisBytes && in.get(c)) bytes.push_back(static_cast<std::uint8_t>(c));
    if (in.bad()) throw std::runtime_error(file.string() + ": cannot be read");
    if (bytes.empty()) throw std::runtime_error(file.string() + ": the CIS file is empty");
    if (bytes.size() > PcCard::kMaxCisBytes) {
        throw std::runtime_error(file.string() + ": a CIS holds at most " + std::to_string(PcCard::kMaxCisBytes) +
                                 " bytes (it must end below the configuration registers at 0x400)");
    }
    return CardModel{file.filename().string(), std::move(bytes), std::nullopt};
}

} // namespace orvo::pcmcia
