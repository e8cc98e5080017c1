// The card catalogue: every card carries a well-formed CIS with the version-1 strings the
// driver's templates know, and raw CIS files are read or refused with the file named.
#include "machine/pcmcia/catalogue.h"
#include "machine/pcmcia/cis_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace orvo::pcmcia {
namespace {

// The tuples of a CIS as the PC Card standard chains them: code, link, body, up to CISTPL_END.
std::map<std::uint8_t, std::vector<std::uint8_t>> tuples(const std::vector<std::uint8_t>& cis) {
    std::map<std::uint8_t, std::vector<std::uint8_t>> found;
    std::size_t at = 0;
    while (at < cis.size() && cis[at] != tuple::kEnd) {
        EXPECT_LT(at + 1, cis.size()) << "a tuple without its link";
        const std::size_t link = cis[at + 1];
        EXPECT_LE(at + 2 + link, cis.size()) << "tuple " << int(cis[at]) << " runs past the CIS";
        if (!found.contains(cis[at])) found[cis[at]] = {cis.begin() + at + 2, cis.begin() + at + 2 + link};
        at += 2 + link;
    }
    EXPECT_LT(at, cis.size()) << "no CISTPL_END";
    return found;
}

std::vector<std::string> vers_1_strings(const std::vector<std::uint8_t>& body) {
    std::vector<std::string> strings;
    std::string current;
    for (std::size_t i = 2; i < body.size() && body[i] != 0xFF; ++i) {
        if (body[i] == 0) {
            strings.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(body[i]);
        }
    }
    return strings;
}

TEST(CardCatalogue, EveryCardCarriesItsStringsAndTheTuplesOfARealCard) {
    const std::map<std::string, std::vector<std::string>> expected = {
        {"orvo88", {"KELMAR System Inc.", "SOUND/SCSI2 CARD 88", "1.00"}},
        {"qtv601", {"PCMCIA SCSI QTV20601", "01"}},
        {"qtv604", {"PCMCIA SCSI QTV20604", "01"}},
        {"card230", {"0917 KELMAR System Inc.", "ORVO61 SCSI2 CARD", "PNPB417"}},
        {"card210", {"PCMCIA SCSI2 CARD-210", "01"}},
        {"card47", {"KELMAR System Inc.", "SCSI2 CARD 47"}},
        {"woxra2", {"SUVANE INFO.", "SCSI2 CARD 47"}},
    };
    ASSERT_EQ(catalogue_names().size(), expected.size());
    for (const std::string& name : catalogue_names()) {
        SCOPED_TRACE(name);
        const CardModel card = catalogue_card(name);
        ASSERT_LE(card.cis.size(), PcCard::kMaxCisBytes);
        const auto found = tuples(card.cis);
        ASSERT_TRUE(found.contains(tuple::kVers1));
        EXPECT_EQ(card.cis[0], tuple::kDevice) << "the device tuple comes first";
        EXPECT_EQ(vers_1_strings(found.at(tuple::kVers1)), expected.at(name));
        for (std::uint8_t code : {tuple::kManfid, tuple::kFuncid, tuple::kConfig, tuple::kCftableEntry}) {
            EXPECT_TRUE(found.contains(code)) << "tuple " << int(code);
        }
        // The configuration registers lie at 0x400, COR and CSR present.
        const auto& config = found.at(tuple::kConfig);
        ASSERT_GE(config.size(), 5u);
        EXPECT_EQ(config[2] | config[3] << 8, 0x400);
        EXPECT_EQ(config[4], 0x03);
        EXPECT_EQ(card.function.has_value(), name == kOrvo88) << "only the Orvo-88's chip is modelled";
    }
    EXPECT_THROW(catalogue_card("nosuchcard"), std::invalid_argument);
}

struct TempFile {
    std::filesystem::path path = std::filesystem::temp_directory_path() / ("orvo-cis-" + std::to_string(::getpid()) + ".cis");
    explicit TempFile(const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ~TempFile() { std::filesystem::remove(path); }
};

TEST(CardCatalogue, RawCisFilesAreReadAsTheyAreOrRefusedNamingTheFile) {
    const std::vector<std::uint8_t> odd = {0x15, 0x40, 0x00};  // a link that runs off the end: kept as is
    {
        TempFile file(odd);
        const CardModel card = card_from_cis_file(file.path);
        EXPECT_EQ(card.cis, odd);
        EXPECT_FALSE(card.function.has_value());
        EXPECT_EQ(card.name, file.path.filename().string());
    }
    const struct {
        std::vector<std::uint8_t> bytes;
        const char* message;
    } refused[] = {
        {{}, "is empty"},
        {std::vector<std::uint8_t>(PcCard::kMaxCisBytes + 1, 0xFF), "at most 512 bytes"},
    };
    for (const auto& r : refused) {
        TempFile file(r.bytes);
        try {
            card_from_cis_file(file.path);
            ADD_FAILURE() << r.message;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(file.path.string()), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(r.message), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(card_from_cis_file("/nonexistent/card.cis"), std::runtime_error);
    EXPECT_EQ(card_from_cis_file(TempFile(std::vector<std::uint8_t>(PcCard::kMaxCisBytes, 1)).path).cis.size(),
              PcCard::kMaxCisBytes);
}

} // namespace
} // namespace orvo::pcmcia
