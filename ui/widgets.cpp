// The widget kit: builders with fixed sizes and packing, and the red marking.
#include "ui/widgets.h"

#include "text/text_helpers.h"

int form_label_width = DEFAULT_FORM_LABEL_WIDTH;
int form_entry_width = DEFAULT_FORM_ENTRY_WIDTH;

namespace {

const GdkColor MARK_RED = {0, 0xFFFF, 0, 0};

// Where a marked child shows its foreground; GTK_STATE_SELECTED is left alone.
const GtkStateType MARKED_CHILD_STATES[] = {GTK_STATE_NORMAL, GTK_STATE_ACTIVE,
                                            GTK_STATE_PRELIGHT, GTK_STATE_INSENSITIVE};

// Puts a new_label with the text into a new button or menu item and shows it.
GtkWidget* holding_label(GtkWidget* bin, const char* text) {
    gtk_container_add(GTK_CONTAINER(bin), new_label(text));
    gtk_widget_show(bin);
    return bin;
}

}  // namespace

GtkWidget* new_label(const char* text) {
    GtkWidget* label = gtk_label_new(text);
    gtk_widget_show(label);
    return label;
}

GtkWidget* new_sized_label(const char* text, int width, int height) {
    GtkWidget* label = new_label(text);
    gtk_widget_set_size_request(label, width, height);
    return label;
}

GtkWidget* new_button(const char* text) { return holding_label(gtk_button_new(), text); }

GtkWidget* new_wide_button(const char* text) {
    GtkWidget* button = new_button(text);
    gtk_widget_set_size_request(button, 170, 30);
    return button;
}

GtkWidget* new_check_button(const char* text) {
    return holding_label(gtk_check_button_new(), text);
}

GtkWidget* new_menu_item(const char* text) {
    GtkWidget* item = holding_label(gtk_menu_item_new(), text);
    gtk_misc_set_alignment(GTK_MISC(gtk_bin_get_child(GTK_BIN(item))), 0.0f, 0.0f);
    return item;
}

GtkWidget* add_bottom_spacer(GtkWidget* box) {
    GtkWidget* spacer = new_label("");
    gtk_widget_set_size_request(spacer, 10, 10);
    gtk_box_pack_start(GTK_BOX(box), spacer, FALSE, FALSE, 0);
    return spacer;
}

GtkWidget* add_form_label(GtkWidget* box, const char* text) {
    GtkWidget* label = new_label(text);
    gtk_misc_set_alignment(GTK_MISC(label), 0.0f, 0.5f);
    gtk_widget_set_size_request(label, form_label_width, 20);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 1);
    return label;
}

GtkEntryBuffer* add_form_entry(GtkWidget* box, GCallback changed, GtkWidget** entry,
                               gpointer data) {
    GtkEntryBuffer* buffer = gtk_entry_buffer_new(nullptr, 0);
    GtkWidget* widget = gtk_entry_new_with_buffer(buffer);
    // The entry holds its own reference; the buffer lives as long as the entry.
    g_object_unref(buffer);
    gtk_widget_set_size_request(widget, form_entry_width, 20);
    *entry = widget;
    gtk_widget_show(widget);
    gtk_box_pack_start(GTK_BOX(box), widget, FALSE, FALSE, 1);
    g_signal_connect(widget, "changed", changed, data);
    return buffer;
}

GtkWidget* add_hseparator(GtkWidget* box) {
    GtkWidget* separator = gtk_hseparator_new();
    gtk_widget_show(separator);
    gtk_box_pack_start(GTK_BOX(box), separator, FALSE, FALSE, 0);
    return separator;
}

void mark_changed(GtkWidget* widget, bool flag) {
    const GdkColor* colour = flag ? &MARK_RED : nullptr;  // nullptr: the theme's colour
    gtk_widget_modify_text(widget, GTK_STATE_NORMAL, colour);
    if (!GTK_IS_CONTAINER(widget)) return;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    if (children) {
        GtkWidget* child = GTK_WIDGET(children->data);
        for (GtkStateType state : MARKED_CHILD_STATES) gtk_widget_modify_fg(child, state, colour);
    }
    g_list_free(children);
}

gboolean mark_entry_if_different(GtkWidget* entry, GtkEntryBuffer* buffer, int expected) {
    const bool differs = decimal_text_value(gtk_entry_buffer_get_text(buffer)) != expected;
    gtk_widget_modify_text(entry, GTK_STATE_NORMAL, differs ? &MARK_RED : nullptr);
    return TRUE;
}
