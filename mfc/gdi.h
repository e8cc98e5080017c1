#pragma once
// Drawing objects: fonts (a font is its description; the terminal shows the weight as bold
// text), icons (loaded from the resource module) and the paint context a paint handler draws
// icons with. The terminal is the device: its cells are the units of client rectangles, icon
// metrics and drawing positions.

#include "mfc/win_types.h"

#include <memory>

class CWnd;

HFONT CreateFontIndirectA(const LOGFONTA* description);
// Copies up to size bytes of the font's description; the bytes copied, 0 for no such font.
int GetObjectA(HGDIOBJ object, int size, LPVOID buffer);
BOOL DeleteObject(HGDIOBJ object);
// SM_CXICON, SM_CYICON: an icon's size in cells.
int GetSystemMetrics(int index);

namespace orvo::mfc {

// The description of a live font; nullptr for a deleted or unknown one.
const LOGFONTA* font_description(HFONT font);
bool is_bold(HFONT font);

HICON load_icon(UINT id);
// The resource id an icon handle stands for; 0 for none.
UINT icon_resource_id(HICON icon);

} // namespace orvo::mfc

class CFont {
  public:
    CFont() = default;
    ~CFont();
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;

    BOOL CreateFontIndirect(const LOGFONTA* description);
    BOOL DeleteObject();
    int GetLogFont(LOGFONTA* description) const;
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }

    // A view of a font some window uses, valid while the font exists; it does not own it.
    static CFont* FromHandle(HFONT font);

    HGDIOBJ m_hObject = nullptr;

  private:
    bool m_bOwned = false;
};

// The paint context of one WM_PAINT (see paint_window): what it draws is shown until the next.
class CPaintDC {
  public:
    explicit CPaintDC(CWnd* window);
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON icon);

  private:
    HWND m_hWnd;
    HDC m_hDC;
};
