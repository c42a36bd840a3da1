// Remote access through the relay server. While it is active the relay owns the
// module, the main window is hidden, and event texts go to the remote side instead
// of the event log.
#pragma once

bool remote_access_active();
void set_remote_access_active(bool active);

// Opens the remote-access window (Tools menu, and the not-programmed window).
void open_remote_access_window();

// One step of the relay; the main loop's only work while remote access is active.
void relay_step();
