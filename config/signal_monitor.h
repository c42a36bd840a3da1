// The signal monitor window: the module's signals, live.
#pragma once

// Opens the window, or brings it to the front when it is open ("Signal monitor").
// Does nothing while no module is open.
void open_signal_monitor();

bool signal_monitor_open();

// Shows the last signal map reply and asks for the next one; on every main loop pass
// while the window is open.
void update_signal_monitor();

// Destroys the window, if open (the module was lost, or an operation takes the
// module over). Registered as a tool window closer.
void destroy_signal_monitor();
