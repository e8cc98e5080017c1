#include "orvoset/resources.h"

#include "orvoset/resource_ids.h"

#include <string_view>

namespace {

// Icon 128, the card, as the terminal draws it.
constexpr std::string_view kCardIconRows[] = {
    "+----+",
    "|O-88|",
    "+----+",
};
constexpr orvo::mfc::IconResource kIcons[] = {{IDR_MAINFRAME, kCardIconRows}};

} // namespace

const orvo::mfc::ResourceModule& OrvosetResources() {
    static const orvo::mfc::ResourceModule module{OrvosetDialogTemplates(), OrvosetStringTable(), kIcons};
    return module;
}
