#pragma once
// Draws running dialogs from their window records: the frame with the caption, its system
// menu box ([-]) and close box ([X]); group boxes as frames with their titles; check boxes as
// [x]; drop-down lists as a field with the chosen entry; edit fields; buttons; disabled
// controls dimmed; the focus in reverse video; an open list or system menu over the rest.

#include "mfc/canvas.h"
#include "mfc/dialog_input.h"
#include "mfc/layout.h"

namespace orvo::mfc {

// input: the dialog's keyboard state when it is the one taking input (focus, pop-ups, caret);
// nullptr draws it as a dialog behind another.
void paint_dialog(Canvas& canvas, const Window& dialog, const DialogPlacement& placement,
                  const DialogInput* input);

// In place of a dialog that does not fit: what it needs and how to go on.
void paint_too_small(Canvas& canvas, int rows_needed, int cols_needed);

} // namespace orvo::mfc
