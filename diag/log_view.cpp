// The event log's view: loading, following, filtering and scrolling; the log file button.
#include "diag/log_view.h"

#include <cstring>

#include "diag/event_log.h"
#include "diag/log_filter.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "settings/settings.h"
#include "ui/chooser_folder.h"
#include "ui/dialogs.h"
#include "ui/widgets.h"

namespace {

struct LogView {
    GtkTextBuffer* buffer = nullptr;
    GtkWidget* text_view = nullptr;
    GtkWidget* scrolled = nullptr;
    GtkWidget* autoscroll = nullptr;
    GtkWidget* file_button = nullptr;
    guint scroll_source = 0;  // a scroll to the end is pending
};

LogView view;

// The filtered copy of the log that refilter_view shows.
char filtered[LOG_CAPACITY];

// Runs once the view has laid out the new lines (their layout runs at a higher
// priority), so the end of the scroll range is where the text ends.
gboolean scroll_now(gpointer) {
    view.scroll_source = 0;
    if (!view.scrolled) return FALSE;
    GtkAdjustment* adjustment = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(view.scrolled));
    gtk_adjustment_set_value(adjustment, gtk_adjustment_get_upper(adjustment) - gtk_adjustment_get_page_size(adjustment));
    return FALSE;
}

// The scroll is left to the GUI's own event processing: a message may be logged from
// inside a read from the module, where running GUI handlers would not be safe, and a
// burst of messages then costs one scroll.
void scroll_to_end() {
    if (!view.autoscroll || !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(view.autoscroll))) return;
    if (!view.scroll_source) view.scroll_source = g_idle_add_full(G_PRIORITY_LOW, scroll_now, nullptr, nullptr);
}

void set_view_text(const char* text, int count) {
    gtk_text_buffer_set_text(view.buffer, text, count);
}

void append_to_view(const char* piece, int count) {
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(view.buffer, &end);
    gtk_text_buffer_insert(view.buffer, &end, piece, count);
}

void on_appended(const char* piece, int count, const char* last_line, bool cut) {
    if (!view.buffer) return;
    if (cut) {
        refilter_view();
    } else if (line_accepted(last_line)) {
        append_to_view(piece, count);
    }
    scroll_to_end();
}

void on_cleared() {
    if (view.buffer) set_view_text("", 0);
}

void show_file_button_state() {
    if (!view.file_button) return;
    const bool open = log_file_open();
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(view.file_button));
    gtk_label_set_text(GTK_LABEL(label), message_text(open ? MSG_STOP_LOGGING : MSG_LOG_TO_FILE));
    mark_changed(view.file_button, open);
}

void on_file_failed(const char* path) {
    show_file_button_state();
    gchar* text = g_strdup_printf(message_text(MSG_ERROR_WRITING_FILE), path);
    show_message(text);
    g_free(text);
}

void install_hooks() {
    event_log_hooks.appended = on_appended;
    event_log_hooks.cleared = on_cleared;
    event_log_hooks.file_failed = on_file_failed;
}

void on_file_button(GtkWidget*, gpointer) { toggle_log_file(); }

void on_file_button_destroyed(GtkWidget*, gpointer) { view.file_button = nullptr; }

// The chosen file (g_free it), or nullptr when cancelled. No filter: a log may be
// appended to a file of any name.
gchar* choose_log_file() {
    const FileChooserText text = {message_text(MSG_SELECT_LOG_FILE), GTK_FILE_CHOOSER_ACTION_SAVE,
                                  message_text(MSG_SAVE_FILE), nullptr, nullptr};
    return run_file_chooser(text, &settings.log_folder);
}

}  // namespace

GtkWidget* load_view(GtkWidget* autoscroll) {
    install_hooks();
    view.autoscroll = autoscroll;
    view.text_view = gtk_text_view_new();
    view.buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view.text_view));
    // Typed text would be in neither the log nor its file.
    gtk_text_view_set_editable(GTK_TEXT_VIEW(view.text_view), FALSE);
    set_view_text(event_log.log_text, event_log.log_end);
    gtk_widget_show(view.text_view);

    view.scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(view.scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(view.scrolled), view.text_view);
    gtk_widget_show(view.scrolled);
    if (!view.scroll_source) view.scroll_source = g_idle_add_full(G_PRIORITY_LOW, scroll_now, nullptr, nullptr);
    return view.scrolled;
}

void close_view() {
    view.buffer = nullptr;
    view.text_view = nullptr;
    view.autoscroll = nullptr;
    view.scrolled = nullptr;
}

// Only the parts that change are edited: rebuilding the whole view would lay out
// every line again, far too slow for each cut of a full log.
void refilter_view() {
    if (!view.buffer) return;
    const int count = filter_lines(event_log.log_text, event_log.log_end, filtered);
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(view.buffer, &start, &end);
    gchar* shown = gtk_text_buffer_get_text(view.buffer, &start, &end, FALSE);
    const ViewEdit edit = plan_view_edit(shown, int(std::strlen(shown)), filtered, count);
    g_free(shown);
    if (edit.replace_all) {
        set_view_text(filtered, count);
        return;
    }
    GtkTextIter from, to;
    gtk_text_buffer_get_start_iter(view.buffer, &from);
    gtk_text_buffer_get_iter_at_offset(view.buffer, &to, edit.drop_front);
    gtk_text_buffer_delete(view.buffer, &from, &to);
    gtk_text_buffer_get_start_iter(view.buffer, &from);
    gtk_text_buffer_insert(view.buffer, &from, filtered, edit.insert_front);
    append_to_view(filtered + edit.append_from, count - edit.append_from);
}

GtkTextBuffer* log_view_buffer() { return view.buffer; }

GtkWidget* new_log_file_button() {
    install_hooks();
    view.file_button = new_button("");
    g_signal_connect(view.file_button, "clicked", G_CALLBACK(on_file_button), nullptr);
    g_signal_connect(view.file_button, "destroy", G_CALLBACK(on_file_button_destroyed), nullptr);
    show_file_button_state();
    return view.file_button;
}

void toggle_log_file() {
    if (log_file_open()) {
        close_log_file();
    } else {
        gchar* file = choose_log_file();
        if (!file) return;
        if (!open_log_file(file)) show_message(message_text(MSG_CANNOT_OPEN_FILE));
        g_free(file);
    }
    show_file_button_state();
}
