#include "mfc/gdi.h"

#include "mfc/resources.h"
#include "mfc/window.h"
#include "mfc/wnd.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

// The standard icon: six cells by three rows.
constexpr int kIconCellsWide = 6;
constexpr int kIconCellsHigh = 3;

struct FontEntry {
    LOGFONTA description;
    std::unique_ptr<CFont> view; // what FromHandle hands out
};

struct FontTable {
    std::uintptr_t next = 0x20000;
    std::map<std::uintptr_t, FontEntry> fonts;
};

FontTable& fonts() {
    static FontTable table;
    return table;
}

FontEntry* find_font(HGDIOBJ object) {
    auto it = fonts().fonts.find(reinterpret_cast<std::uintptr_t>(object));
    return it == fonts().fonts.end() ? nullptr : &it->second;
}

// Icon handles carry their resource id above this base.
constexpr std::uintptr_t kIconHandleBase = 0x40000;

} // namespace

HFONT CreateFontIndirectA(const LOGFONTA* description) {
    if (!description) return nullptr;
    FontTable& table = fonts();
    const std::uintptr_t number = table.next;
    table.next += 4;
    FontEntry& entry = table.fonts[number];
    entry.description = *description;
    entry.description.lfFaceName[sizeof entry.description.lfFaceName - 1] = '\0';
    return reinterpret_cast<HFONT>(number);
}

int GetObjectA(HGDIOBJ object, int size, LPVOID buffer) {
    const FontEntry* entry = find_font(object);
    if (!entry || !buffer || size <= 0) return 0;
    const int copied = std::min<int>(size, static_cast<int>(sizeof(LOGFONTA)));
    std::memcpy(buffer, &entry->description, static_cast<std::size_t>(copied));
    return copied;
}

BOOL DeleteObject(HGDIOBJ object) {
    return fonts().fonts.erase(reinterpret_cast<std::uintptr_t>(object)) == 1;
}

int GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXICON: return kIconCellsWide;
    case SM_CYICON: return kIconCellsHigh;
    default: return 0;
    }
}

namespace orvo::mfc {

const LOGFONTA* font_description(HFONT font) {
    const FontEntry* entry = find_font(font);
    return entry ? &entry->description : nullptr;
}

bool is_bold(HFONT font) {
    const LOGFONTA* description = font_description(font);
    return description && description->lfWeight >= FW_BOLD;
}

HICON load_icon(UINT id) {
    if (!find_icon(id)) return nullptr;
    return reinterpret_cast<HICON>(kIconHandleBase + id);
}

UINT icon_resource_id(HICON icon) {
    const auto number = reinterpret_cast<std::uintptr_t>(icon);
    if (number <= kIconHandleBase) return 0;
    return static_cast<UINT>(number - kIconHandleBase);
}

} // namespace orvo::mfc

CFont::~CFont() {
    if (m_bOwned) DeleteObject();
}

BOOL CFont::CreateFontIndirect(const LOGFONTA* description) {
    if (m_bOwned) DeleteObject();
    m_hObject = CreateFontIndirectA(description);
    m_bOwned = m_hObject != nullptr;
    return m_bOwned;
}

BOOL CFont::DeleteObject() {
    if (!m_hObject) return FALSE;
    const BOOL deleted = m_bOwned ? ::DeleteObject(m_hObject) : FALSE;
    m_hObject = nullptr;
    m_bOwned = false;
    return deleted;
}

int CFont::GetLogFont(LOGFONTA* description) const {
    return GetObjectA(m_hObject, sizeof(LOGFONTA), description);
}

CFont* CFont::FromHandle(HFONT font) {
    FontEntry* entry = find_font(font);
    if (!entry) return nullptr;
    if (!entry->view) {
        entry->view = std::make_unique<CFont>();
        entry->view->m_hObject = font;
    }
    return entry->view.get();
}

CPaintDC::CPaintDC(CWnd* window)
    : m_hWnd(window ? window->m_hWnd : nullptr), m_hDC(reinterpret_cast<HDC>(m_hWnd)) {}

BOOL CPaintDC::DrawIcon(int x, int y, HICON icon) {
    orvo::mfc::Window* target = orvo::mfc::find_window(m_hWnd);
    if (!target || !icon) return FALSE;
    target->painted.push_back({icon, POINT{x, y}});
    return TRUE;
}
