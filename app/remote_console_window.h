// The remote console's windows and start-up.
#pragma once

#include <gtk/gtk.h>

// Asks for the relay server, session code and token file, then restarts the tool as a
// console on that session. A bad answer is said and asked again; Cancel ends it.
void open_remote_console_dialog();

// With the console options on the command line, joins the session (or says why not
// and ends the program); *remote tells whether the tool now is a console.
void start_console_if_asked(int argc, char** argv, bool* remote);

// Adds "remote, session CODE at HOST:PORT" to the main window's title.
void mark_remote_title(int argc, char** argv);
