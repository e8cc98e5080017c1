#include "mfc/controls.h"

using orvo::mfc::ListItem;
using orvo::mfc::Window;

namespace {

// The entry at index, or nullptr when the list has none there.
ListItem* item_at(Window* list, int index) {
    if (!list || index < 0 || static_cast<std::size_t>(index) >= list->items.size()) return nullptr;
    return &list->items[static_cast<std::size_t>(index)];
}

} // namespace

int CButton::GetCheck() const {
    const Window* self = window();
    return self ? self->check : BST_UNCHECKED;
}

void CButton::SetCheck(int check) {
    if (Window* self = window()) self->check = check ? BST_CHECKED : BST_UNCHECKED;
}

int CComboBox::AddString(LPCSTR text) {
    Window* self = window();
    if (!self) return CB_ERR;
    self->items.push_back({text ? text : "", 0});
    return static_cast<int>(self->items.size()) - 1;
}

int CComboBox::GetCount() const {
    const Window* self = window();
    return self ? static_cast<int>(self->items.size()) : 0;
}

int CComboBox::GetCurSel() const {
    const Window* self = window();
    return self ? self->selection : CB_ERR;
}

int CComboBox::SetCurSel(int index) {
    Window* self = window();
    if (!self) return CB_ERR;
    self->selection = item_at(self, index) ? index : CB_ERR;
    return self->selection;
}

DWORD_PTR CComboBox::GetItemData(int index) const {
    const ListItem* item = item_at(window(), index);
    return item ? item->data : static_cast<DWORD_PTR>(CB_ERR);
}

int CComboBox::SetItemData(int index, DWORD_PTR data) {
    ListItem* item = item_at(window(), index);
    if (!item) return CB_ERR;
    item->data = data;
    return 0;
}

void CComboBox::GetLBText(int index, CString& text) const {
    const ListItem* item = item_at(window(), index);
    text = CString(item ? item->text : std::string());
}

void CComboBox::ResetContent() {
    if (Window* self = window()) {
        self->items.clear();
        self->selection = CB_ERR;
    }
}
