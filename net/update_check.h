// Asking the update server whether another version of the tool exists.
#pragma once

// The start-up check: nothing when the settings switch it off; otherwise the text to
// show once the main window exists, or nullptr.
const char* check_for_updates();

// The Tools menu's update toggle: flips settings.check_updates_at_startup, saves the
// settings and gives the toggle item the caption of its next action.
void toggle_update_check();
