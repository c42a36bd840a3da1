// The 13 pin rows of the configuration editor: signal, inversion, I/O type and
// trigger of every pin, with the red marks against the pin's references. The
// operations do nothing (and the getters give 0 or false) while no rows exist or for
// a pin outside 0..PIN_COUNT-1.
#pragma once

#include <gtk/gtk.h>

#include "config/pin_config.h"

// The row widgets by pin; nullptr while no editor exists.
extern GtkWidget* signal_lists[PIN_COUNT];
extern GtkWidget* inversion_boxes[PIN_COUNT];
extern GtkWidget* io_lists[PIN_COUNT];
extern GtkWidget* trigger_lists[PIN_COUNT];

// Appends the 13 rows to the editor box, in the view `advanced_view` selects. Each
// row starts at "none" with only its signal list visible.
void build_pin_rows(GtkWidget* editor_box);

// Forgets the row widgets (the editor box that holds them is being destroyed).
void forget_pin_rows();

bool pin_rows_exist();

// Choices as list positions; -1 where a list has no active entry.
int row_signal(int pin);
bool row_inverted(int pin);
int row_io(int pin);
int row_trigger(int pin);
PinSetting row_setting(int pin);

// Sets the signal position and always runs the signal handler (as choosing it does),
// which rebuilds the I/O list for the signal's role. A position the list does not
// have leaves the list without a choice.
void set_row_signal(int pin, int position);
// Runs the signal handler for the row's current signal.
void run_signal_handler(int pin);
void set_row_inverted(int pin, bool inverted);
void set_row_io(int pin, int position);
void set_row_trigger(int pin, int position);

// Recomputes the red marks against pin_references.
void refresh_signal_mark(int pin);
void refresh_inversion_mark(int pin);
void refresh_io_mark(int pin);
void refresh_trigger_mark(int pin);
void refresh_row_marks(int pin);

// The red marks themselves: a list's text; for an inversion box of the rows, the
// background of the event box around it.
void mark_list(GtkWidget* list, bool marked);
void mark_inversion_box(GtkWidget* box, bool marked);
bool list_marked(GtkWidget* list);
bool inversion_box_marked(GtkWidget* box);
