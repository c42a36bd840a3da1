// The shared message window and the standard dialogs.
#pragma once

#include <gtk/gtk.h>

// The one program-wide message window (or nullptr).
extern GtkWidget* message_window;

// Opens a non-blocking message box with the text, replacing any window in the slot.
void show_message(const char* text);

// Destroys the window in the message window slot, if any. Returns true.
gboolean close_message_window();

// Processes GUI events until the message window slot is empty.
void wait_message_closed();

// Blocking Yes/No question; true only for Yes.
bool ask_question(GtkWidget* parent, const char* text);

// Closes the message window, the console and the signal monitor before an operation
// takes the device over.
void close_tool_windows();
