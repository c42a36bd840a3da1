// The message box in its program-wide slot, the Yes/No question and the closing of
// the tool windows.
#include "ui/dialogs.h"

#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "platform/clock.h"
#include "ui/widgets.h"

GtkWidget* message_window = nullptr;

namespace {

ToolWindowCloser tool_window_closers[TOOL_WINDOW_CLOSER_CAPACITY] = {};
int tool_window_closer_count = 0;

GtkWidget* sized_spacer(int width, int height) {
    GtkWidget* spacer = new_label("");
    gtk_widget_set_size_request(spacer, width, height);
    return spacer;
}

// The accessibility layer presses a button from an idle handler and still touches it
// after "clicked" returns, when this handler has destroyed it with its window: the
// last OK pressed is kept alive until the next one.
GtkWidget* last_ok_pressed = nullptr;

void on_message_ok_clicked(GtkButton* button, gpointer) {
    if (last_ok_pressed) g_object_unref(last_ok_pressed);
    last_ok_pressed = GTK_WIDGET(g_object_ref(button));
    close_message_window();
}

// A window destroyed by anyone else (toolkit shutdown, another owner of the slot)
// must not stay in the slot.
void on_message_window_destroyed(GtkWidget* window, gpointer) {
    if (message_window == window) message_window = nullptr;
}

}  // namespace

void show_message(const char* text) {
    close_message_window();

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    message_window = window;
    g_signal_connect(window, "destroy", G_CALLBACK(on_message_window_destroyed), nullptr);
    gtk_window_set_modal(GTK_WINDOW(window), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER_ALWAYS);
    gtk_window_set_title(GTK_WINDOW(window), message_text(MSG_MESSAGE_TITLE));
    // No close button in the title bar: OK is the only way out.
    gtk_window_set_deletable(GTK_WINDOW(window), FALSE);

    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_widget_show(vbox);
    gtk_container_add(GTK_CONTAINER(window), vbox);
    gtk_box_pack_start(GTK_BOX(vbox), sized_spacer(250, 15), FALSE, FALSE, 1);
    gtk_box_pack_start(GTK_BOX(vbox), new_label(text), FALSE, FALSE, 1);
    gtk_box_pack_start(GTK_BOX(vbox), sized_spacer(250, 15), FALSE, FALSE, 1);

    GtkWidget* row = gtk_hbox_new(FALSE, 1);
    gtk_widget_show(row);
    gtk_box_pack_start(GTK_BOX(vbox), row, TRUE, TRUE, 1);
    gtk_box_pack_start(GTK_BOX(row), new_label(""), TRUE, FALSE, 1);  // pushes OK right
    GtkWidget* ok = new_button("OK");  // the same caption in every language
    gtk_widget_set_size_request(ok, 80, 25);
    gtk_box_pack_start(GTK_BOX(row), ok, FALSE, FALSE, 1);
    gtk_box_pack_start(GTK_BOX(row), sized_spacer(10, 10), FALSE, FALSE, 1);
    add_bottom_spacer(vbox);

    g_signal_connect(ok, "clicked", G_CALLBACK(on_message_ok_clicked), nullptr);

    gtk_widget_show(window);
    gtk_window_present(GTK_WINDOW(window));
    gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
}

gboolean close_message_window() {
    GtkWidget* window = message_window;
    message_window = nullptr;
    if (window) gtk_widget_destroy(window);
    return TRUE;
}

void wait_message_closed() {
    while (message_window) {
        if (gtk_events_pending()) {
            gtk_main_iteration();
        } else {
            platform::sleep_ms(50);
        }
    }
}

bool ask_question(GtkWidget* parent, const char* text) {
    GtkWidget* dialog = gtk_dialog_new_with_buttons(
        message_text(MSG_QUESTION_TITLE), nullptr, GTK_DIALOG_DESTROY_WITH_PARENT,
        message_text(MSG_YES), GTK_RESPONSE_ACCEPT, message_text(MSG_NO), GTK_RESPONSE_NONE,
        nullptr);
    if (parent) gtk_window_set_transient_for(GTK_WINDOW(dialog), GTK_WINDOW(parent));
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_window_set_deletable(GTK_WINDOW(dialog), FALSE);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))),
                      new_label(text));

    // No, Escape and a destroyed dialog all come back as something other than ACCEPT.
    // Our own reference keeps the object valid for the destroy below even when the
    // dialog went with its parent during the run.
    g_object_ref(dialog);
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    g_object_unref(dialog);
    return response == GTK_RESPONSE_ACCEPT;
}

void close_tool_windows() {
    close_message_window();
    for (int i = 0; i < tool_window_closer_count; ++i) tool_window_closers[i]();
}

bool register_tool_window_closer(ToolWindowCloser closer) {
    for (int i = 0; i < tool_window_closer_count; ++i) {
        if (tool_window_closers[i] == closer) return true;
    }
    if (tool_window_closer_count == TOOL_WINDOW_CLOSER_CAPACITY) return false;
    tool_window_closers[tool_window_closer_count++] = closer;
    return true;
}
