// The configuration editor's box in the main window.
#include "config/config_editor.h"

namespace {
GtkWidget* editor_box = nullptr;

void forget_box(GtkWidget*, gpointer) { editor_box = nullptr; }
}  // namespace

void build_config_editor(GtkWidget* main_box) {
    destroy_config_editor();
    editor_box = gtk_vbox_new(FALSE, 0);
    g_signal_connect(editor_box, "destroy", G_CALLBACK(forget_box), nullptr);
    gtk_box_pack_start(GTK_BOX(main_box), editor_box, FALSE, FALSE, 0);
    gtk_widget_show(editor_box);
}

void destroy_config_editor() {
    if (editor_box) gtk_widget_destroy(editor_box);
    editor_box = nullptr;
}

bool config_editor_exists() { return editor_box != nullptr; }
