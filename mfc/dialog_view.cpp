#include "mfc/dialog_view.h"

#include "mfc/canvas.h"
#include "mfc/gdi.h"
#include "mfc/layout.h"
#include "mfc/painter.h"
#include "mfc/user_actions.h"

#include <cstdio>

namespace orvo::mfc {
namespace {

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

} // namespace

DialogView::DialogView(HWND dialog) : dialog_(dialog) {}

const Window& DialogView::dialog() const {
    const Window* window = find_window(dialog_);
    if (!window) throw ScriptError("the dialog is no longer open");
    return *window;
}

UINT DialogView::template_id() const {
    return dialog().template_id;
}

std::string DialogView::caption() const {
    return dialog().text;
}

const Window& DialogView::control(int id) const {
    const Window* found = child_by_id(dialog(), id);
    if (!found)
        throw ScriptError("dialog " + std::to_string(template_id()) + " has no control " + std::to_string(id));
    return *found;
}

std::vector<std::string> DialogView::entries(int id) const {
    std::vector<std::string> texts;
    for (const ListItem& item : control(id).items)
        texts.push_back(item.text);
    return texts;
}

DWORD_PTR DialogView::entry_data(int id, int index) const {
    const Window& list = control(id);
    if (index < 0 || static_cast<std::size_t>(index) >= list.items.size())
        throw ScriptError("list " + std::to_string(id) + " has no entry " + std::to_string(index));
    return list.items[static_cast<std::size_t>(index)].data;
}

bool DialogView::bold(int id) const {
    return is_bold(control(id).font);
}

int DialogView::focus_id() const {
    const Window* focused = find_window(effective_focus(dialog()));
    return focused ? focused->id : 0;
}

std::vector<MenuItem> DialogView::system_menu() const {
    const Window& window = dialog();
    return window.system_menu ? window.system_menu->Items() : std::vector<MenuItem>{};
}

HICON DialogView::icon(bool big) const {
    return big ? dialog().icon : dialog().small_icon;
}

std::string DialogView::describe() const {
    const Window& window = dialog();
    std::string lines = "dialog " + std::to_string(window.template_id) + " " + quoted(window.text) + "\n";
    const int focus = focus_id();
    for (HWND child : window.children) {
        const Window* control = find_window(child);
        if (!control) continue;
        char head[32];
        if (control->id == IDC_STATIC)
            std::snprintf(head, sizeof head, "  %5s %-6s", "-", kind_name(control->kind));
        else
            std::snprintf(head, sizeof head, "  %5d %-6s", control->id, kind_name(control->kind));
        std::string line = head;
        if (control->kind == WindowKind::CheckBox) line += control->check ? " [x]" : " [ ]";
        if (!control->enabled) line += " disabled";
        if (control->id != IDC_STATIC && control->id == focus) line += " focused";
        if (is_bold(control->font)) line += " bold";
        if (control->kind == WindowKind::ComboBox) {
            line += " selected " + std::to_string(control->selection) + ":";
            for (const ListItem& item : control->items)
                line += " " + quoted(item.text) + "=" + std::to_string(item.data);
        } else if (control->kind == WindowKind::Icon) {
            line += " icon " + std::to_string(icon_resource_id(control->icon));
        } else if (control->kind != WindowKind::Frame) {
            line += " " + quoted(control->text);
        }
        lines += line + "\n";
    }
    return lines;
}

std::string DialogView::screen(const DialogInput* input) const {
    const Window& window = dialog();
    const CellRect frame = frame_cells(window, kRoomyScale);
    MemoryCanvas canvas(frame.rows, frame.cols);
    paint_dialog(canvas, window, DialogPlacement{kRoomyScale, frame}, input);
    return canvas.text();
}

} // namespace orvo::mfc
