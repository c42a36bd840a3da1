// The shared message window and the standard dialogs.
#pragma once

#include <gtk/gtk.h>

// The one program-wide message window (or nullptr). Whoever fills it destroys the
// window already in it first; whoever closes the window empties it. Callers that
// must wait for the user test it (or call wait_message_closed).
extern GtkWidget* message_window;

// Opens a non-blocking message box with the text, replacing any window in the slot.
void show_message(const char* text);

// Destroys the window in the message window slot, if any. Returns true.
gboolean close_message_window();

// Processes GUI events until the message window slot is empty, sleeping 50 ms
// whenever no event is pending.
void wait_message_closed();

// Blocking Yes/No question; true only for Yes.
bool ask_question(GtkWidget* parent, const char* text);

// Closes the message window, the console and the signal monitor before an operation
// takes the device over.
void close_tool_windows();

// Secondary windows that must go before an operation takes the device over (the
// console, the signal monitor) register a closer: a function that closes or destroys
// its window when it is open and does nothing otherwise. close_tool_windows runs the
// closers in the order they were registered, after closing the message window.
// Registering a closer again changes nothing. Returns false when all
// TOOL_WINDOW_CLOSER_CAPACITY places are taken.
using ToolWindowCloser = void (*)();
constexpr int TOOL_WINDOW_CLOSER_CAPACITY = 8;
bool register_tool_window_closer(ToolWindowCloser closer);
