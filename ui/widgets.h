// The widget kit: labels, buttons, menu items and form rows with fixed sizes, shown
// as soon as they are made, and the red marking of fields whose value differs.
// Every text passed in is already translated.
#pragma once

#include <gtk/gtk.h>

// Width in pixels of the labels and entries of form rows; a caller may change them
// before building a form (and restore them afterwards).
constexpr int DEFAULT_FORM_LABEL_WIDTH = 550;
constexpr int DEFAULT_FORM_ENTRY_WIDTH = 150;
extern int form_label_width;
extern int form_entry_width;

// A label with the text, shown.
GtkWidget* new_label(const char* text);

// A new_label with a size request: spacers (empty text) and fixed-size captions.
GtkWidget* new_sized_label(const char* text, int width, int height);

// A button holding a new_label with the text, shown.
GtkWidget* new_button(const char* text);

// new_button with the size request 170 x 30.
GtkWidget* new_wide_button(const char* text);

// A check button holding a new_label with the text, shown.
GtkWidget* new_check_button(const char* text);

// A menu item holding a new_label aligned left and top, shown.
GtkWidget* new_menu_item(const char* text);

// Packs an empty 10 x 10 label at the end of the box (no expand, no fill, padding 0):
// the small bottom margin of every dialog. Returns the spacer.
GtkWidget* add_bottom_spacer(GtkWidget* box);

// Packs a label aligned left and vertically centred, sized form_label_width x 20
// (no expand, no fill, padding 1). Returns the label.
GtkWidget* add_form_label(GtkWidget* box, const char* text);

// Packs a shown entry on a new empty entry buffer, sized form_entry_width x 20
// (no expand, no fill, padding 1), stores the entry in *entry and connects `changed`
// (with `data`) to the entry's "changed" signal. Returns the entry buffer, which the
// entry owns.
GtkEntryBuffer* add_form_entry(GtkWidget* box, GCallback changed, GtkWidget** entry,
                               gpointer data = nullptr);

// Packs a shown horizontal separator (no expand, no fill, padding 0). Returns it.
GtkWidget* add_hseparator(GtkWidget* box);

// flag set: the widget's normal text colour turns red, and so does the foreground of
// its first child in the normal, active, prelight and insensitive states (selected
// stays). flag clear: the same colours go back to the theme's. A widget without
// children only has its text colour changed.
void mark_changed(GtkWidget* widget, bool flag);

// Colours the entry's normal text red when the buffer's decimal value (read as
// decimal_text_value does) differs from `expected`, the theme's colour otherwise.
// Returns TRUE, so it can serve as an event handler's result.
gboolean mark_entry_if_different(GtkWidget* entry, GtkEntryBuffer* buffer, int expected);
