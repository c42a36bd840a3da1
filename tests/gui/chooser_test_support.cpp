// Answering file choosers in GUI tests.
#include "gui/chooser_test_support.h"

#include <gtk/gtk.h>

#include "gui/gui_test_support.h"

ChooserAnswer chooser_answer;

namespace {

gulong chooser_hook = 0;

gboolean answer_chooser(gpointer data) {
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(data);
    ChooserAnswer& a = chooser_answer;
    gchar* start = gtk_file_chooser_get_current_folder(chooser);
    a.started_in = start ? start : "";
    g_free(start);
    a.title = gtk_window_get_title(GTK_WINDOW(chooser));
    a.filters.clear();
    GSList* filters = gtk_file_chooser_list_filters(chooser);
    for (GSList* f = filters; f; f = f->next) a.filters.push_back(gtk_file_filter_get_name(GTK_FILE_FILTER(f->data)) ?: "");
    g_slist_free(filters);
    if (a.accept) {
        const std::string folder = a.folder.empty() ? a.started_in : a.folder;
        const std::string path = a.name[0] == '/' ? a.name : folder + "/" + a.name;
        if (!a.folder.empty()) gtk_file_chooser_set_current_folder(chooser, a.folder.c_str());
        if (gtk_file_chooser_get_action(chooser) == GTK_FILE_CHOOSER_ACTION_SAVE) {
            gtk_file_chooser_set_current_name(chooser, a.name.c_str());
        } else {
            gtk_file_chooser_select_filename(chooser, path.c_str());
        }
        // The folder is read in the background; wait (bounded) until the choice holds.
        for (int i = 0; i < 400; ++i) {
            gchar* chosen = gtk_file_chooser_get_filename(chooser);
            const bool ready = chosen && path == chosen;
            g_free(chosen);
            if (ready) break;
            gtk_main_iteration_do(FALSE);
            g_usleep(5000);
        }
    }
    // Accepting without a file would leave the chooser open: cancel instead, and let
    // the test's checks fail.
    gchar* chosen = gtk_file_chooser_get_filename(chooser);
    const bool accept = a.accept && chosen;
    g_free(chosen);
    gtk_dialog_response(GTK_DIALOG(chooser), accept ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
    g_object_unref(chooser);
    return FALSE;
}

gboolean on_chooser_shown(GSignalInvocationHint*, guint, const GValue* params, gpointer) {
    GObject* object = G_OBJECT(g_value_get_object(&params[0]));
    if (GTK_IS_FILE_CHOOSER_DIALOG(object)) {
        ++chooser_answer.shown;
        g_idle_add(answer_chooser, g_object_ref(object));
    }
    return TRUE;
}

}  // namespace

void start_answering_choosers() {
    // Where the chooser keeps recent files and its own settings, as in a user's
    // home (without them it warns, and leaks a path when it makes the folder).
    g_mkdir_with_parents((gui_test_home() + "/.local/share").c_str(), 0700);
    g_mkdir_with_parents((gui_test_home() + "/.config/gtk-2.0").c_str(), 0700);
    chooser_answer = ChooserAnswer();
    chooser_hook =
        g_signal_add_emission_hook(g_signal_lookup("show", GTK_TYPE_WIDGET), 0, on_chooser_shown, nullptr, nullptr);
}

void stop_answering_choosers() {
    if (chooser_hook) g_signal_remove_emission_hook(g_signal_lookup("show", GTK_TYPE_WIDGET), chooser_hook);
    chooser_hook = 0;
}
