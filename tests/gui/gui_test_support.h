// Shared set-up of the in-process GUI tests: the toolkit, started once with a
// writable HOME of its own, and small helpers to look into widget trees.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

// Starts GTK for this test program, the first time with a new empty HOME folder
// (removed at exit) and no USERPROFILE, so nothing the program or the toolkit
// writes lands in the real profile. False when there is no display: skip the test.
bool start_gui();

#define REQUIRE_GUI()                                        \
    do {                                                     \
        if (!start_gui()) GTEST_SKIP() << "no display";      \
    } while (0)

// The temporary HOME folder start_gui made.
const std::string& gui_test_home();

// Runs the GUI events that are pending now.
void process_pending_events();

// Top-level windows of type GTK_WINDOW_TOPLEVEL that are visible.
std::vector<GtkWidget*> visible_toplevels();

// The texts of every label inside the widget (the widget itself included), in tree
// order.
std::vector<std::string> label_texts(GtkWidget* widget);

// Every widget inside the widget (itself included) of the given type, in tree order.
std::vector<GtkWidget*> find_widgets(GtkWidget* widget, GType type);

// Sends a key press and release of `keyval` to a realized window, as the X server
// would deliver it.
void send_key(GtkWidget* window, guint keyval);

// From now on every message window is read as soon as it is shown (its label texts
// are appended to captured_texts) and then closed from the loop that waits for it,
// as a user reading it and pressing its button would. Clears captured_texts.
void capture_and_close_message_window();
void stop_capturing_message_windows();
extern std::vector<std::string> captured_texts;

// Ends a test that ran the program's main window: closes the link, the editor, the
// message window and the main window, and leaves no backend and the search state.
void end_main_window_session();
