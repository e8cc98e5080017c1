#pragma once
// Restarting Windows so that new settings take effect: enable the shutdown privilege in the
// process token, then ask for a forced reboot. Each failing step shows an error box with the
// failing function's name (caption "shutdown process", stop icon) and the next step is still
// tried; the settings are already saved, so a failed restart loses nothing.

void RestartSystem();
