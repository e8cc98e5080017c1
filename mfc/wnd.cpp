#include "mfc/wnd.h"

#include "mfc/gdi.h"
#include "mfc/layout.h"
#include "mfc/menu.h"

using orvo::mfc::Window;

CWnd::~CWnd() {
    if (Window* bound = window(); bound && bound->object == this) bound->object = nullptr;
}

BOOL CWnd::SubclassWindow(HWND handle) {
    Window* target = orvo::mfc::find_window(handle);
    if (!target) return FALSE;
    if (target->object && target->object != this) target->object->m_hWnd = nullptr;
    target->object = this;
    m_hWnd = handle;
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(int id, CWnd* parent) {
    CWnd* item = parent ? parent->GetDlgItem(id) : nullptr;
    return item ? SubclassWindow(item->m_hWnd) : FALSE;
}

HWND CWnd::Detach() {
    HWND handle = m_hWnd;
    if (Window* bound = window(); bound && bound->object == this) bound->object = nullptr;
    m_hWnd = nullptr;
    return handle;
}

int CWnd::GetDlgCtrlID() const {
    const Window* self = window();
    return self ? self->id : 0;
}

CWnd* CWnd::GetDlgItem(int id) const {
    const Window* self = window();
    Window* item = self ? orvo::mfc::child_by_id(*self, id) : nullptr;
    if (!item) return nullptr;
    if (item->object) return item->object;
    if (!item->stand_in) {
        item->stand_in = std::make_unique<CWnd>();
        item->stand_in->m_hWnd = item->handle;
    }
    return item->stand_in.get();
}

void CWnd::SetWindowText(LPCSTR text) {
    if (Window* self = window()) {
        self->text = text ? text : "";
        self->caret = self->text.size();
    }
}

void CWnd::GetWindowText(CString& text) const {
    const Window* self = window();
    text = CString(self ? self->text : std::string());
}

int CWnd::GetWindowTextLength() const {
    const Window* self = window();
    return self ? static_cast<int>(self->text.size()) : 0;
}

void CWnd::SetDlgItemText(int id, LPCSTR text) {
    if (CWnd* item = GetDlgItem(id)) item->SetWindowText(text);
}

int CWnd::GetDlgItemText(int id, CString& text) const {
    text.Empty();
    if (CWnd* item = GetDlgItem(id)) item->GetWindowText(text);
    return text.GetLength();
}

void CWnd::CheckDlgButton(int id, UINT check) {
    const CWnd* item = GetDlgItem(id);
    if (Window* button = item ? item->window() : nullptr; button && button->kind == orvo::mfc::WindowKind::CheckBox)
        button->check = check ? BST_CHECKED : BST_UNCHECKED;
}

UINT CWnd::IsDlgButtonChecked(int id) const {
    const CWnd* item = GetDlgItem(id);
    const Window* button = item ? item->window() : nullptr;
    return button && button->check ? BST_CHECKED : BST_UNCHECKED;
}

BOOL CWnd::EnableWindow(BOOL enable) {
    Window* self = window();
    if (!self) return FALSE;
    const BOOL was_disabled = !self->enabled;
    self->enabled = enable != FALSE;
    return was_disabled;
}

BOOL CWnd::IsWindowEnabled() const {
    const Window* self = window();
    return self && self->enabled;
}

CMenu* CWnd::GetSystemMenu(BOOL) const {
    const Window* self = window();
    return self ? self->system_menu.get() : nullptr;
}

HICON CWnd::SetIcon(HICON icon, BOOL big) {
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

HICON CWnd::GetIcon(BOOL big) const {
    const Window* self = window();
    if (!self) return nullptr;
    return big ? self->icon : self->small_icon;
}

void CWnd::SetFont(CFont* font, BOOL redraw) {
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font ? static_cast<HFONT>(*font) : nullptr),
                redraw);
}

CFont* CWnd::GetFont() const {
    const Window* self = window();
    return self ? CFont::FromHandle(
                      reinterpret_cast<HFONT>(orvo::mfc::send_message(m_hWnd, WM_GETFONT)))
                : nullptr;
}

BOOL CWnd::IsIconic() const {
    const Window* self = window();
    return self && self->minimized;
}

void CWnd::GetClientRect(LPRECT rect) const {
    if (!rect) return;
    *rect = RECT{};
    if (const Window* self = window()) {
        const orvo::mfc::CellRect cells = orvo::mfc::client_cells(*self, orvo::mfc::kRoomyScale);
        rect->right = cells.cols;
        rect->bottom = cells.rows;
    }
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    return orvo::mfc::send_message(m_hWnd, message, wparam, lparam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    const CurrentMessage outer = m_Current;
    m_Current = {message, wparam, lparam};
    LRESULT result = 0;
    if (!OnWndMsg(message, wparam, lparam, &result)) result = DefWindowProc(message, wparam, lparam);
    m_Current = outer;
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    using namespace orvo::mfc;
    const int id = message == WM_COMMAND ? LOWORD(wparam) : 0;
    const WORD code = message == WM_COMMAND ? HIWORD(wparam) : 0;
    const MessageMapEntry* entry = find_handler(GetMessageMap(), message, id, code);
    if (!entry) return FALSE;
    LRESULT value = 0;
    if (auto handler = std::get_if<VoidHandler>(&entry->handler)) {
        (this->**handler)();
    } else if (auto handler = std::get_if<SysCommandHandler>(&entry->handler)) {
        (this->**handler)(static_cast<UINT>(wparam), lparam);
    } else if (auto handler = std::get_if<QueryIconHandler>(&entry->handler)) {
        value = reinterpret_cast<LRESULT>((this->**handler)());
    } else if (auto handler = std::get_if<MouseHandler>(&entry->handler)) {
        // Client coordinates, signed 16 bits each.
        const auto x = static_cast<std::int16_t>(LOWORD(static_cast<WPARAM>(lparam)));
        const auto y = static_cast<std::int16_t>(HIWORD(static_cast<WPARAM>(lparam)));
        (this->**handler)(static_cast<UINT>(wparam), CPoint(x, y));
    }
    if (result) *result = value;
    return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    return orvo::mfc::default_window_proc(m_hWnd, message, wparam, lparam);
}

LRESULT CWnd::Default() {
    return DefWindowProc(m_Current.message, m_Current.wparam, m_Current.lparam);
}

const orvo::mfc::MessageMap* CWnd::GetMessageMap() const {
    static const orvo::mfc::MessageMap map{nullptr, {}};
    return &map;
}

void CWnd::OnSysCommand(UINT, LPARAM) {
    Default();
}

void CWnd::OnPaint() {
    Default();
}

HCURSOR CWnd::OnQueryDragIcon() {
    return reinterpret_cast<HCURSOR>(Default());
}

void CWnd::OnRButtonDown(UINT, CPoint) {
    Default();
}

void CWnd::OnRButtonUp(UINT, CPoint) {
    Default();
}
