#pragma once
// The cards a machine description can put into a socket: the Orvo-88 Sound/SCSI card, one
// card for each of the other SCSI cards the driver knows by its version-1 strings, and cards
// read from a raw CIS file.

#include "machine/pcmcia/pc_card.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::pcmcia {

inline constexpr std::string_view kOrvo88 = "orvo88";

// Catalogue names, the Orvo-88 first.
const std::vector<std::string>& catalogue_names();
bool is_catalogue_card(std::string_view name);
// "orvo88, qtv601, ..." for messages.
std::string catalogue_list();

// Throws std::invalid_argument for a name not in the catalogue.
CardModel catalogue_card(std::string_view name);

// A card whose attribute memory holds the file's bytes as its CIS, with no I/O function.
// Throws std::runtime_error naming the file when it cannot be read, is empty or is longer
// than PcCard::kMaxCisBytes.
CardModel card_from_cis_file(const std::filesystem::path& file);

} // namespace orvo::pcmcia
