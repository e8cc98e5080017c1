#include "winapi/message_box.h"

#include "winapi/environment.h"

#include <array>

namespace orvo::winapi {
namespace {

// The buttons of each MB_ type, left to right.
constexpr std::array<std::array<int, 3>, 6> kButtons = {{
    {IDOK, 0, 0},                 // MB_OK
    {IDOK, IDCANCEL, 0},          // MB_OKCANCEL
    {IDABORT, IDRETRY, IDIGNORE}, // MB_ABORTRETRYIGNORE
    {IDYES, IDNO, IDCANCEL},      // MB_YESNOCANCEL
    {IDYES, IDNO, 0},             // MB_YESNO
    {IDRETRY, IDCANCEL, 0},       // MB_RETRYCANCEL
}};

} // namespace

int default_button(UINT style) {
    UINT type = style & MB_TYPEMASK;
    if (type >= kButtons.size()) type = MB_OK;
    const auto& buttons = kButtons[type];
    std::size_t which = (style & MB_DEFMASK) >> 8;
    // A default button beyond the box's buttons falls back to the first, as on the platform.
    if (which >= buttons.size() || buttons[which] == 0) which = 0;
    return buttons[which];
}

int RecordingMessageBoxes::show(HWND, const MessageBoxCall& call) {
    calls_.push_back(call);
    if (answers_.empty()) return default_button(call.style);
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

} // namespace orvo::winapi

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    orvo::winapi::MessageBoxCall call{lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType};
    return orvo::winapi::environment().message_boxes().show(hWnd, call);
}
