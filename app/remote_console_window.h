// The remote console's windows and start-up.
#pragma once

#include <gtk/gtk.h>

// Asks for the relay server, session code, token file, CA file and whether to talk
// plain text, then restarts the tool as a console on that session. A bad answer is
// said and asked again; Cancel ends it.
void open_remote_console_dialog();

// With the console options on the command line, joins the session, its waits told to
// the console's stall window; *remote tells whether the tool now is a console. When it
// cannot join it says why and ends the program, or, started from a local tool's
// dialog, restarts as that local tool.
void start_console_if_asked(int argc, char** argv, bool* remote);

// Adds "remote, session CODE at HOST:PORT" to the main window's title.
void mark_remote_title(int argc, char** argv);
