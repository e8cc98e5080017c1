#pragma once
// Scripts of user steps for the headless driver, one step a line (a line starting with '#' is
// a comment):
//
//   click ID          left click: toggles a check box, presses a button (press ID: the same)
//   check ID          clicks the check box when it is not checked (uncheck ID: the reverse)
//   select ID N       chooses entry N (from 0) of drop-down list ID
//   type ID TEXT      replaces the text of edit field ID with the rest of the line
//   key NAME ...      keys, in order: tab backtab enter esc space up down left right home end
//                     pageup pagedown backspace delete f4 f10
//   text TEXT         types the rest of the line into the focused control, key by key
//   syscommand N      a system command (0x10 is the About box's, 0xF060 closes)
//   rbutton down|up   the right mouse button on the dialog's surface
//   minimize, restore the dialog window
//   answer BUTTON     the next message box's answer: ok cancel yes no abort retry ignore
//   show              writes every control of the dialog to the transcript
//   screen            writes the dialog as the terminal shows it to the transcript
//
// Numbers are decimal or 0x-hexadecimal.

#include "mfc/headless_driver.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvo::mfc {

// Throws ScriptError naming source and line of the first line that is not a step.
std::vector<ScriptStep> parse_script(std::string_view text, const std::string& source);

} // namespace orvo::mfc
