// The pin rows: building them, their handlers, their choices and red marks.
#include "config/pin_rows.h"

#include "config/pin_rules.h"
#include "connection/connection.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "ui/widgets.h"

GtkWidget* signal_lists[PIN_COUNT] = {};
GtkWidget* inversion_boxes[PIN_COUNT] = {};
GtkWidget* io_lists[PIN_COUNT] = {};
GtkWidget* trigger_lists[PIN_COUNT] = {};

namespace {

const GdkColor MARK_RED = {0, 0xFFFF, 0, 0};
// A list's text shows in these states: normal and under the pointer.
const GtkStateType LIST_MARK_STATES[] = {GTK_STATE_NORMAL, GTK_STATE_PRELIGHT};
const GtkStateType BOX_MARK_STATES[] = {GTK_STATE_NORMAL, GTK_STATE_ACTIVE};

bool valid_pin(int pin) { return pin >= 0 && pin < PIN_COUNT && signal_lists[pin] != nullptr; }

int find_pin(GtkWidget* widget, GtkWidget* const* widgets) {
    for (int pin = 0; pin < PIN_COUNT; ++pin)
        if (widgets[pin] == widget) return pin;
    return -1;
}

int active(GtkWidget* list) { return gtk_combo_box_get_active(GTK_COMBO_BOX(list)); }

int entry_count(GtkWidget* list) {
    return gtk_tree_model_iter_n_children(gtk_combo_box_get_model(GTK_COMBO_BOX(list)), nullptr);
}

// Out-of-list positions leave the list without a choice instead of upsetting GTK.
void set_active(GtkWidget* list, int position) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(list), list_position_valid(position, entry_count(list)) ? position : -1);
}

GtkWidget* new_list(int width) {
    GtkWidget* list = gtk_combo_box_text_new();
    gtk_widget_set_size_request(list, width, 30);
    return list;
}

void pack(GtkWidget* row, GtkWidget* widget) { gtk_box_pack_start(GTK_BOX(row), widget, FALSE, FALSE, 0); }

void fill_io_list(int pin, const PinRowShape& shape) {
    GtkWidget* list = io_lists[pin];
    for (int i = entry_count(list) - 1; i >= 0; --i) gtk_combo_box_text_remove(GTK_COMBO_BOX_TEXT(list), i);
    for (int i = 0; i < shape.io_count; ++i)
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(list), io_list_label(pin, shape.role, advanced_view, i));
    gtk_widget_set_sensitive(list, shape.io_sensitive);
}

// The box and the event box that carries its red mark come and go together.
void show_inversion_box(int pin, bool shown) {
    GtkWidget* box = inversion_boxes[pin];
    for (GtkWidget* widget : {box, gtk_widget_get_parent(box)}) {
        if (shown) {
            gtk_widget_show(widget);
        } else {
            gtk_widget_hide(widget);
        }
    }
}

void on_signal_changed(GtkWidget* list, gpointer) {
    const int pin = find_pin(list, signal_lists);
    if (pin < 0) return;
    const PinRowShape shape = pin_row_shape(pin, active(list), advanced_view);
    gtk_widget_hide(trigger_lists[pin]);
    if (!shape.has_signal) {
        show_inversion_box(pin, false);
        gtk_widget_hide(io_lists[pin]);
        refresh_signal_mark(pin);
        return;
    }
    const int previous_io = active(io_lists[pin]);
    fill_io_list(pin, shape);
    if (shape.trigger_visible) gtk_widget_show(trigger_lists[pin]);
    set_active(io_lists[pin], io_position_after_signal_change(pin, shape.role, previous_io, shape.io_count));
    if (shape.inversion_visible) show_inversion_box(pin, true);
    gtk_widget_show(io_lists[pin]);
    refresh_signal_mark(pin);
    refresh_io_mark(pin);
    refresh_trigger_mark(pin);
}

// Shared by the I/O and trigger lists.
void on_choice_changed(GtkWidget* list, gpointer) {
    int pin = find_pin(list, io_lists);
    if (pin >= 0) {
        refresh_io_mark(pin);
        return;
    }
    pin = find_pin(list, trigger_lists);
    if (pin >= 0) refresh_trigger_mark(pin);
}

void on_inversion_clicked(GtkWidget* box, gpointer) {
    const int pin = find_pin(box, inversion_boxes);
    if (pin >= 0) refresh_inversion_mark(pin);
}

GtkWidget* wire_swatch(const PinWire& wire) {
    GtkWidget* swatch = gtk_vbox_new(FALSE, 0);
    const struct {
        int height;
        const uint32_t* rgb;
    } stripes[] = {{3, nullptr}, {10, &wire.upper}, {10, &wire.lower}};
    for (const auto& stripe : stripes) {
        GtkWidget* box = gtk_event_box_new();
        gtk_widget_set_size_request(box, 40, stripe.height);
        if (stripe.rgb) {
            const GdkColor colour = {0, colour_component_16(*stripe.rgb, 16), colour_component_16(*stripe.rgb, 8),
                                     colour_component_16(*stripe.rgb, 0)};
            gtk_widget_modify_bg(box, GTK_STATE_NORMAL, &colour);
        }
        gtk_widget_show(box);
        gtk_box_pack_start(GTK_BOX(swatch), box, FALSE, FALSE, 0);
    }
    gtk_widget_show(swatch);
    return swatch;
}

void build_row(GtkWidget* editor_box, int pin) {
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    gtk_widget_show(row);
    gtk_box_pack_start(GTK_BOX(editor_box), row, FALSE, FALSE, 0);

    pack(row, new_sized_label("", advanced_view ? 25 : 100, 30));
    pack(row, wire_swatch(PIN_WIRES[pin]));
    pack(row, new_sized_label("", 10, 30));
    GtkWidget* name = new_sized_label(message_text(PIN_WIRES[pin].label_message), 200, 30);
    gtk_misc_set_alignment(GTK_MISC(name), 0.0f, 0.5f);
    pack(row, name);

    GtkWidget* signals = new_list(180);
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(signals), message_text(MSG_NONE));
    for (int s = 1; s < signal_count(pin); ++s)
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(signals), signal_name(pin, s));
    gtk_widget_show(signals);
    pack(row, signals);
    add_bottom_spacer(row);

    // Shown and hidden by the signal handler only, whatever shows the window. A check
    // button has no window of its own, so the usual themes paint its background only
    // under the pointer: the red mark colours an event box around it instead.
    GtkWidget* inversion = gtk_check_button_new();
    gtk_widget_set_size_request(inversion, 30, 30);
    gtk_widget_set_no_show_all(inversion, TRUE);
    g_signal_connect(inversion, "clicked", G_CALLBACK(on_inversion_clicked), nullptr);
    GtkWidget* mark = gtk_event_box_new();
    gtk_widget_set_no_show_all(mark, TRUE);
    gtk_container_add(GTK_CONTAINER(mark), inversion);
    pack(row, mark);
    if (advanced_view) add_bottom_spacer(row);

    GtkWidget* io = new_list(195);
    gtk_widget_set_no_show_all(io, TRUE);
    g_signal_connect(io, "changed", G_CALLBACK(on_choice_changed), nullptr);
    pack(row, io);
    add_bottom_spacer(row);

    GtkWidget* trigger = new_list(135);
    gtk_widget_set_no_show_all(trigger, TRUE);
    g_signal_connect(trigger, "changed", G_CALLBACK(on_choice_changed), nullptr);
    pack(row, trigger);

    signal_lists[pin] = signals;
    inversion_boxes[pin] = inversion;
    io_lists[pin] = io;
    trigger_lists[pin] = trigger;

    for (int t = 0; t < TRIGGER_COUNT; ++t)
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(trigger), trigger_name(t));
    gtk_combo_box_set_active(GTK_COMBO_BOX(trigger), 0);
    g_signal_connect(signals, "changed", G_CALLBACK(on_signal_changed), nullptr);
    set_row_signal(pin, 0);
}

bool rc_colour_is(GtkWidget* widget, GtkStateType state, GtkRcFlags flag) {
    GtkRcStyle* style = gtk_widget_get_modifier_style(widget);
    if (!(style->color_flags[state] & flag)) return false;
    const GdkColor& colour = flag == GTK_RC_TEXT ? style->text[state] : style->bg[state];
    return colour.red == MARK_RED.red && colour.green == MARK_RED.green && colour.blue == MARK_RED.blue;
}

}  // namespace

void build_pin_rows(GtkWidget* editor_box) {
    for (int pin = 0; pin < PIN_COUNT; ++pin) build_row(editor_box, pin);
}

void forget_pin_rows() {
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        signal_lists[pin] = nullptr;
        inversion_boxes[pin] = nullptr;
        io_lists[pin] = nullptr;
        trigger_lists[pin] = nullptr;
    }
}

bool pin_rows_exist() { return signal_lists[0] != nullptr; }

int row_signal(int pin) { return valid_pin(pin) ? active(signal_lists[pin]) : 0; }

bool row_inverted(int pin) {
    return valid_pin(pin) && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(inversion_boxes[pin]));
}

int row_io(int pin) { return valid_pin(pin) ? active(io_lists[pin]) : 0; }

int row_trigger(int pin) { return valid_pin(pin) ? active(trigger_lists[pin]) : 0; }

PinSetting row_setting(int pin) {
    PinSetting setting;
    setting.signal = row_signal(pin);
    setting.inverted = row_inverted(pin);
    setting.io = row_io(pin);
    setting.trigger = row_trigger(pin);
    return setting;
}

void set_row_signal(int pin, int position) {
    if (!valid_pin(pin)) return;
    GtkWidget* list = signal_lists[pin];
    const int before = active(list);
    set_active(list, position);
    // An unchanged position emits nothing; the handler runs all the same.
    if (active(list) == before) on_signal_changed(list, nullptr);
}

void run_signal_handler(int pin) {
    if (valid_pin(pin)) on_signal_changed(signal_lists[pin], nullptr);
}

void set_row_inverted(int pin, bool inverted) {
    if (valid_pin(pin)) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(inversion_boxes[pin]), inverted);
}

void set_row_io(int pin, int position) {
    if (valid_pin(pin)) set_active(io_lists[pin], position);
}

void set_row_trigger(int pin, int position) {
    if (valid_pin(pin)) set_active(trigger_lists[pin], position);
}

void refresh_signal_mark(int pin) {
    if (valid_pin(pin)) mark_list(signal_lists[pin], row_signal(pin) != pin_references[pin].signal);
}

void refresh_inversion_mark(int pin) {
    if (valid_pin(pin))
        mark_inversion_box(inversion_boxes[pin], int(row_inverted(pin)) != pin_references[pin].inverted);
}

void refresh_io_mark(int pin) {
    if (valid_pin(pin)) mark_list(io_lists[pin], row_io(pin) != pin_references[pin].io);
}

void refresh_trigger_mark(int pin) {
    if (valid_pin(pin)) mark_list(trigger_lists[pin], row_trigger(pin) != pin_references[pin].trigger);
}

void refresh_row_marks(int pin) {
    refresh_signal_mark(pin);
    refresh_inversion_mark(pin);
    refresh_io_mark(pin);
    refresh_trigger_mark(pin);
}

// The text of a text combo box is drawn by its cell view, the box's child.
void mark_list(GtkWidget* list, bool marked) {
    const GdkColor* colour = marked ? &MARK_RED : nullptr;
    GtkWidget* view = gtk_bin_get_child(GTK_BIN(list));
    for (GtkStateType state : LIST_MARK_STATES) {
        gtk_widget_modify_text(list, state, colour);
        if (view) gtk_widget_modify_text(view, state, colour);
    }
}

void mark_inversion_box(GtkWidget* box, bool marked) {
    GtkWidget* mark = gtk_widget_get_parent(box);
    for (GtkStateType state : BOX_MARK_STATES) gtk_widget_modify_bg(mark, state, marked ? &MARK_RED : nullptr);
}

bool list_marked(GtkWidget* list) { return rc_colour_is(list, GTK_STATE_NORMAL, GTK_RC_TEXT); }

bool inversion_box_marked(GtkWidget* box) {
    return rc_colour_is(gtk_widget_get_parent(box), GTK_STATE_NORMAL, GTK_RC_BG);
}
