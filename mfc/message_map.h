#pragma once
// Message maps: each window class lists the messages it handles in a table of entries
// (message, control id and notification code for WM_COMMAND, handler). A class's table points
// to its base class's, and dispatch walks the chain from the most derived class; a message no
// table handles gets the default processing.

#include "mfc/win_types.h"

#include <span>
#include <type_traits>
#include <variant>

class CWnd;

namespace orvo::mfc {

// The handler signatures, by message:
using VoidHandler = void (CWnd::*)();                    // WM_COMMAND, WM_PAINT
using SysCommandHandler = void (CWnd::*)(UINT, LPARAM);  // WM_SYSCOMMAND
using QueryIconHandler = HCURSOR (CWnd::*)();            // WM_QUERYDRAGICON
using MouseHandler = void (CWnd::*)(UINT, CPoint);       // WM_RBUTTONDOWN, WM_RBUTTONUP
using Handler = std::variant<VoidHandler, SysCommandHandler, QueryIconHandler, MouseHandler>;

struct MessageMapEntry {
    UINT message = 0;
    int id = 0;    // WM_COMMAND only: the control id
    WORD code = 0; // WM_COMMAND only: the notification code
    Handler handler;
};

struct MessageMap {
    const MessageMap* base = nullptr;
    std::span<const MessageMapEntry> entries;
};

// The entry that handles message (for WM_COMMAND: from control id with code), searching the
// chain from map to its bases; nullptr when none does.
const MessageMapEntry* find_handler(const MessageMap* map, UINT message, int id, WORD code);

// Entry makers, one per message kind, so that a table reads as the list of what it handles.
// A handler of class T is stored as a handler of CWnd, its base; it is called on T objects only.
template <class T> MessageMapEntry on_command(int id, void (T::*handler)()) {
    static_assert(std::is_base_of_v<CWnd, T>);
    return {WM_COMMAND, id, BN_CLICKED, static_cast<VoidHandler>(handler)};
}
template <class T> MessageMapEntry on_sys_command(void (T::*handler)(UINT, LPARAM)) {
    static_assert(std::is_base_of_v<CWnd, T>);
    return {WM_SYSCOMMAND, 0, 0, static_cast<SysCommandHandler>(handler)};
}
template <class T> MessageMapEntry on_paint(void (T::*handler)()) {
    static_assert(std::is_base_of_v<CWnd, T>);
    return {WM_PAINT, 0, 0, static_cast<VoidHandler>(handler)};
}
template <class T> MessageMapEntry on_query_drag_icon(HCURSOR (T::*handler)()) {
    static_assert(std::is_base_of_v<CWnd, T>);
    return {WM_QUERYDRAGICON, 0, 0, static_cast<QueryIconHandler>(handler)};
}
template <class T> MessageMapEntry on_rbutton_down(void (T::*handler)(UINT, CPoint)) {
    static_assert(std::is_base_of_v<CWnd, T>);
    return {WM_RBUTTONDOWN, 0, 0, static_cast<MouseHandler>(handler)};
}
template <class T> MessageMapEntry on_rbutton_up(void (T::*handler)(UINT, CPoint)) {
    static_assert(std::is_base_of_v<CWnd, T>);
    return {WM_RBUTTONUP, 0, 0, static_cast<MouseHandler>(handler)};
}

} // namespace orvo::mfc
