#pragma once
// Menus: a dialog's system menu, opened from its caption (F10 or Alt+Space in the terminal).
// Choosing an item sends the dialog WM_SYSCOMMAND with the item's id.

#include "mfc/win_types.h"

#include <memory>
#include <string>
#include <vector>

struct MenuItem {
    UINT flags = MF_STRING;
    UINT id = 0;
    std::string text; // '&' marks the key that chooses the item
    bool separator() const { return flags & MF_SEPARATOR; }
    bool enabled() const { return !separator() && !(flags & MF_GRAYED); }
};

class CMenu {
  public:
    BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCSTR text = nullptr);
    int GetMenuItemCount() const { return static_cast<int>(m_Items.size()); }
    const std::vector<MenuItem>& Items() const { return m_Items; }

  private:
    std::vector<MenuItem> m_Items;
};

namespace orvo::mfc {

// The system menu a dialog with a system menu starts with: Close.
std::unique_ptr<CMenu> make_system_menu();

// The key that chooses an item: the character after its '&', folded to lower case; 0 for none.
char32_t menu_mnemonic(const std::string& text);
// The text as shown, without the '&' marks ("&&" shows one '&').
std::string menu_display_text(const std::string& text);

} // namespace orvo::mfc
