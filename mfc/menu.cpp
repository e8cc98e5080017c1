#include "mfc/menu.h"

namespace orvo::mfc {

std::unique_ptr<CMenu> make_system_menu() {
    auto menu = std::make_unique<CMenu>();
    menu->AppendMenu(MF_STRING, SC_CLOSE, "閉じる(&C)");
    return menu;
}

char32_t menu_mnemonic(const std::string& text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i + 1]);
        if (c >= 0x80) return 0; // only single-byte keys serve as mnemonics
        return static_cast<char32_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return 0;
}

std::string menu_display_text(const std::string& text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        shown += text[i];
    }
    return shown;
}

} // namespace orvo::mfc

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, LPCSTR text) {
    m_Items.push_back({flags, static_cast<UINT>(id), text ? text : ""});
    return TRUE;
}
