#pragma once
// Resources as data: dialog templates (positions and sizes in dialog units), the string table
// and icons. A program hands the framework its module of resources once at start
// (set_resource_module); dialogs, CString::LoadString and LoadIcon look ids up there.

#include "mfc/win_types.h"

#include <span>
#include <string_view>

namespace orvo::mfc {

// The id of controls that are never addressed (labels, frames, group boxes).
inline constexpr int IDC_STATIC = -1;

enum class ControlClass { Button, Static, Edit, ComboBox };

struct ControlTemplate {
    int id = IDC_STATIC;
    ControlClass cls = ControlClass::Static;
    const char* text = "";
    int x = 0, y = 0, cx = 0, cy = 0; // dialog units
    // Control styles beyond WS_CHILD | WS_VISIBLE, which every control has.
    DWORD style = 0;
    DWORD ex_style = 0;
    UINT icon = 0; // SS_ICON statics: the icon resource shown
};

struct DialogFont {
    int points = 8;
    const char* face = "";
};

struct DialogTemplate {
    UINT id = 0;
    DWORD style = 0;
    DWORD ex_style = 0;
    int cx = 0, cy = 0; // dialog units
    const char* caption = "";
    DialogFont font;
    std::span<const ControlTemplate> controls; // in tab order
};

struct StringResource {
    UINT id = 0;
    const char* text = "";
};

// An icon as the terminal shows it: rows of text, each the same number of cells.
struct IconResource {
    UINT id = 0;
    std::span<const std::string_view> rows;
};

struct ResourceModule {
    std::span<const DialogTemplate> dialogs;
    std::span<const StringResource> strings;
    std::span<const IconResource> icons;
};

// The module every lookup uses; nullptr leaves none (every lookup then fails).
void set_resource_module(const ResourceModule* module);
const ResourceModule* resource_module();

const DialogTemplate* find_dialog_template(UINT id);
const char* find_string(UINT id); // nullptr when the table has no such entry
const IconResource* find_icon(UINT id);

} // namespace orvo::mfc
