// Shared set-up of the in-process GUI tests.
#include "gui/gui_test_support.h"

#include <stdlib.h>

#include "app/app.h"
#include "config/config_editor.h"
#include "connection/connection.h"
#include "device/hid_backend.h"
#include "device/link.h"
#include "ui/dialogs.h"
#include "unit/temp_folder.h"

std::vector<std::string> captured_texts;

// Fontconfig keeps its caches until the process ends, and the toolkit's file chooser
// leaks icons and file names once it has shown a folder. Their stacks end in GLib's
// allocator (GLib has no frame pointers), so GLib's allocations are not counted in the
// GUI tests; our own allocations still are, and the unit tests check everything.
// Unused in plain builds.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libglib-2.0.so\n"; }

namespace {

// Removed with its contents when the test program ends.
TempFolder& home_folder() {
    static TempFolder folder;
    return folder;
}

void collect(GtkWidget* widget, GType type, std::vector<GtkWidget*>& out) {
    if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type)) out.push_back(widget);
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* c = children; c; c = c->next) collect(GTK_WIDGET(c->data), type, out);
        g_list_free(children);
    }
}

gulong message_show_hook = 0;

gboolean capture_and_close(gpointer) {
    if (message_window) {
        for (const std::string& text : label_texts(message_window)) captured_texts.push_back(text);
        close_message_window();
    }
    return FALSE;
}

gboolean on_message_show(GSignalInvocationHint*, guint, const GValue* params, gpointer) {
    if (g_value_get_object(&params[0]) == message_window) g_idle_add(capture_and_close, nullptr);
    return TRUE;
}

}  // namespace

void capture_and_close_message_window() {
    captured_texts.clear();
    if (!message_show_hook)
        message_show_hook = g_signal_add_emission_hook(g_signal_lookup("show", GTK_TYPE_WIDGET), 0, on_message_show,
                                                       nullptr, nullptr);
}

void stop_capturing_message_windows() {
    if (message_show_hook) g_signal_remove_emission_hook(g_signal_lookup("show", GTK_TYPE_WIDGET), message_show_hook);
    message_show_hook = 0;
}

bool start_gui() {
    static const bool started = [] {
        if (!home_folder().path().empty()) setenv("HOME", home_folder().path().c_str(), 1);
        unsetenv("USERPROFILE");
        return gtk_init_check(nullptr, nullptr) != FALSE;
    }();
    return started;
}

const std::string& gui_test_home() { return home_folder().path(); }

void process_pending_events() {
    while (gtk_events_pending()) gtk_main_iteration();
}

std::vector<GtkWidget*> visible_toplevels() {
    std::vector<GtkWidget*> result;
    GList* all = gtk_window_list_toplevels();
    for (GList* w = all; w; w = w->next) {
        GtkWidget* window = GTK_WIDGET(w->data);
        GtkWindowType type;
        g_object_get(window, "type", &type, nullptr);
        if (type == GTK_WINDOW_TOPLEVEL && gtk_widget_get_visible(window)) result.push_back(window);
    }
    g_list_free(all);
    return result;
}

std::vector<GtkWidget*> find_widgets(GtkWidget* widget, GType type) {
    std::vector<GtkWidget*> out;
    collect(widget, type, out);
    return out;
}

std::vector<std::string> label_texts(GtkWidget* widget) {
    std::vector<std::string> texts;
    for (GtkWidget* label : find_widgets(widget, GTK_TYPE_LABEL))
        texts.push_back(gtk_label_get_text(GTK_LABEL(label)));
    return texts;
}

void send_key(GtkWidget* window, guint keyval) {
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* event = gdk_event_new(type);
        event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
        event->key.send_event = TRUE;
        event->key.time = GDK_CURRENT_TIME;
        event->key.keyval = keyval;
        // Key bindings are looked up by the hardware key code, not the key value.
        GdkKeymapKey* keys = nullptr;
        gint count = 0;
        if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_default(), keyval, &keys, &count) &&
            count > 0) {
            event->key.hardware_keycode = guint16(keys[0].keycode);
            event->key.group = guint8(keys[0].group);
        }
        g_free(keys);
        gtk_main_do_event(event);
        gdk_event_free(event);
    }
}

void end_main_window_session() {
    link_close();
    destroy_config_editor();
    close_message_window();
    if (main_window.window) gtk_widget_destroy(main_window.window);
    main_window = MainWindow();
    process_pending_events();
    install_hid_backend(nullptr);
    connection_state = SEARCHING;
}
