// The signal monitor window: 40 cells lit in their colours from the module's signal map.
#include "config/signal_monitor.h"

#include <gtk/gtk.h>

#include "config/signal_monitor_table.h"
#include "device/link.h"
#include "device/module_link.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "ui/dialogs.h"
#include "ui/widgets.h"

namespace {

constexpr int CELL_WIDTH = 160;
constexpr int CELL_HEIGHT = 25;

GtkWidget* monitor_window = nullptr;
GtkWidget* cells[MONITOR_SIGNAL_COUNT] = {};
// What the cells show now: only cells whose bit changed are repainted, so an
// unchanging map costs nothing on every pass.
uint64_t shown_map = 0;

GdkColor gdk_colour(uint32_t rgb) {
    GdkColor colour = {0, guint16(((rgb >> 16) & 0xFF) * 257), guint16(((rgb >> 8) & 0xFF) * 257),
                       guint16((rgb & 0xFF) * 257)};
    return colour;
}

GtkWidget* new_cell(int bit) {
    GtkWidget* cell = new_button(MONITOR_TABLE[bit].label);
    gtk_widget_set_size_request(cell, CELL_WIDTH, CELL_HEIGHT);
    gtk_widget_set_sensitive(cell, FALSE);
    // Insensitive labels are greyed by default; the names must stay readable.
    const GdkColor black = {0, 0, 0, 0};
    gtk_widget_modify_fg(gtk_bin_get_child(GTK_BIN(cell)), GTK_STATE_INSENSITIVE, &black);
    return cell;
}

void paint_cell(int bit, bool active) {
    if (active) {
        const GdkColor colour = gdk_colour(MONITOR_TABLE[bit].colour);
        gtk_widget_modify_bg(cells[bit], GTK_STATE_INSENSITIVE, &colour);
    } else {
        gtk_widget_modify_bg(cells[bit], GTK_STATE_INSENSITIVE, nullptr);
    }
}

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer) {
    destroy_signal_monitor();
    return TRUE;
}

}  // namespace

void open_signal_monitor() {
    if (monitor_window) {
        gtk_window_present(GTK_WINDOW(monitor_window));
        return;
    }
    if (!module_link().is_open()) return;
    register_tool_window_closer(destroy_signal_monitor);

    monitor_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_resizable(GTK_WINDOW(monitor_window), FALSE);
    gtk_window_set_position(GTK_WINDOW(monitor_window), GTK_WIN_POS_CENTER_ALWAYS);
    gtk_window_set_title(GTK_WINDOW(monitor_window), message_text(MSG_SIGNAL_MONITOR));
    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_widget_show(vbox);
    gtk_container_add(GTK_CONTAINER(monitor_window), vbox);
    gtk_widget_show(monitor_window);

    GtkWidget* grid = gtk_hbox_new(FALSE, 3);
    for (int column = 0; column < MONITOR_COLUMNS; ++column) {
        GtkWidget* cells_box = gtk_vbox_new(FALSE, 0);
        for (int row = 0; row < MONITOR_ROWS; ++row) {
            const int bit = column * MONITOR_ROWS + row;
            cells[bit] = new_cell(bit);
            gtk_box_pack_start(GTK_BOX(cells_box), cells[bit], FALSE, FALSE, 1);
        }
        gtk_widget_show(cells_box);
        gtk_box_pack_start(GTK_BOX(grid), cells_box, FALSE, FALSE, 3);
    }
    gtk_widget_show(grid);
    gtk_box_pack_start(GTK_BOX(vbox), grid, FALSE, FALSE, 0);
    shown_map = 0;
    g_signal_connect(monitor_window, "delete-event", G_CALLBACK(on_delete), nullptr);
}

bool signal_monitor_open() { return monitor_window != nullptr; }

void update_signal_monitor() {
    if (!monitor_window) return;
    uint64_t map = 0;
    if (decode_signal_map(module_link().reply(), &map)) {
        for (int bit = 0; bit < MONITOR_SIGNAL_COUNT; ++bit) {
            if (signal_bit_set(map, bit) != signal_bit_set(shown_map, bit))
                paint_cell(bit, signal_bit_set(map, bit));
        }
        shown_map = map;
    }
    // The answer is read by the main loop's next poll: each update shows the map
    // asked for by the one before.
    request_signal_map(module_link());
}

void destroy_signal_monitor() {
    if (!monitor_window) return;
    GtkWidget* window = monitor_window;
    monitor_window = nullptr;
    for (GtkWidget*& cell : cells) cell = nullptr;
    gtk_widget_destroy(window);
}
