// The vehicle selector: make and model lists, note, CAN level field and level rule.
#include "config/vehicle_selector.h"

#include <cstdio>

#include "config/pin_config.h"
#include "connection/connection.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "text/text_helpers.h"
#include "ui/widgets.h"

int catalogue_level = 0;
bool set_level_flag = true;
VehicleSelector vehicle_selector;

namespace {

constexpr int SELECTOR_FORM_LABEL_WIDTH = 200;
constexpr int LEVEL_ENTRY_WIDTH = 35;
const GdkColor MARK_RED = {0, 0xFFFF, 0, 0};

VehicleSelector& sel = vehicle_selector;

uint32_t firmware_version() { return uint32_t(device_identity.firmware_version); }

GtkWidget* new_list(int width) {
    GtkWidget* list = gtk_combo_box_text_new();
    gtk_widget_set_size_request(list, width, 30);
    gtk_widget_show(list);
    return list;
}

void clear_model_list() {
    for (int i = sel.model_entry_count - 1; i >= 0; --i)
        gtk_combo_box_text_remove(GTK_COMBO_BOX_TEXT(sel.model_list), i);
    sel.model_entry_count = 0;
}

void on_model_changed(GtkWidget*, gpointer) {
    if (!sel.model_list) return;
    const int position = gtk_combo_box_get_active(GTK_COMBO_BOX(sel.model_list));
    const int make = gtk_combo_box_get_active(GTK_COMBO_BOX(sel.make_list));
    if (position < 0 || position >= sel.model_entry_count) return;
    const VehicleModel* model = vehicle_model(make, sel.model_map[position]);
    if (!model) return;
    catalogue_level = model->level;
    if (set_level_flag) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", int(model->level));
        set_can_level_text(text);
    }
    gtk_label_set_text(GTK_LABEL(sel.note_label), model_note(*model));
}

void on_make_changed(GtkWidget*, gpointer) {
    if (!sel.make_list) return;
    const int make = gtk_combo_box_get_active(GTK_COMBO_BOX(sel.make_list));
    if (make < 0) return;
    clear_model_list();
    const ModelList models = visible_models(make, firmware_version());
    for (int i = 0; i < models.count && i < MAX_MAKE_MODELS; ++i) {
        const VehicleModel* model = vehicle_model(make, models.indexes[i]);
        if (!model) continue;
        sel.model_map[sel.model_entry_count++] = models.indexes[i];
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(sel.model_list), model_label(*model).text);
    }
    // The list was emptied, so choosing entry 0 runs the model handler.
    gtk_combo_box_set_active(GTK_COMBO_BOX(sel.model_list), sel.model_entry_count > 0 ? 0 : -1);
}

void on_level_changed(GtkWidget*, gpointer) { apply_level_rule(); }

void fill_make_list() {
    for (int i = sel.make_entry_count - 1; i >= 0; --i)
        gtk_combo_box_text_remove(GTK_COMBO_BOX_TEXT(sel.make_list), i);
    sel.make_entry_count = 0;
    for (int m = 0; m < VEHICLE_MAKE_COUNT && vehicle_makes[m].models; ++m) {
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(sel.make_list), vehicle_makes[m].name);
        ++sel.make_entry_count;
    }
    gtk_combo_box_set_active(GTK_COMBO_BOX(sel.make_list), 0);
}

}  // namespace

void build_vehicle_selector(GtkWidget* editor_box) {
    GtkWidget* selector = gtk_vbox_new(FALSE, 0);
    gtk_widget_show(selector);
    gtk_box_pack_start(GTK_BOX(editor_box), selector, FALSE, FALSE, 0);

    GtkWidget* first = gtk_hbox_new(FALSE, 0);
    gtk_widget_set_size_request(first, 700, 25);
    gtk_widget_show(first);
    gtk_box_pack_start(GTK_BOX(selector), first, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(first), new_sized_label("", 20, 20), FALSE, FALSE, 0);
    sel.make_list = new_list(200);
    gtk_box_pack_start(GTK_BOX(first), sel.make_list, FALSE, FALSE, 0);
    sel.model_list = new_list(300);
    gtk_box_pack_start(GTK_BOX(first), sel.model_list, FALSE, FALSE, 0);
    sel.note_label = new_label("");
    gtk_box_pack_start(GTK_BOX(first), sel.note_label, FALSE, FALSE, 0);

    GtkWidget* second = gtk_hbox_new(FALSE, 0);
    gtk_widget_show(second);
    gtk_box_pack_start(GTK_BOX(selector), second, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(second), new_sized_label("", 23, 20), FALSE, FALSE, 0);
    form_label_width = SELECTOR_FORM_LABEL_WIDTH;  // stays so, as the kit's users expect
    add_form_label(second, message_text(MSG_CAN_LEVEL));
    const int saved_entry_width = form_entry_width;
    form_entry_width = LEVEL_ENTRY_WIDTH;
    sel.level_buffer = add_form_entry(second, G_CALLBACK(on_level_changed), &sel.level_entry);
    form_entry_width = saved_entry_width;
    GtkWidget* after = new_sized_label("", 100, 20);
    gtk_misc_set_alignment(GTK_MISC(after), 0.0f, 0.5f);
    gtk_box_pack_start(GTK_BOX(second), after, FALSE, FALSE, 0);

    // The handlers come after the first fill, then the make handler runs once.
    fill_make_list();
    g_signal_connect(sel.make_list, "changed", G_CALLBACK(on_make_changed), nullptr);
    g_signal_connect(sel.model_list, "changed", G_CALLBACK(on_model_changed), nullptr);
    on_make_changed(sel.make_list, nullptr);
}

void forget_vehicle_selector() { sel = VehicleSelector(); }

void select_vehicle(int level, int number, bool set_field) {
    if (!sel.make_list) return;
    const VehicleMatch match = find_vehicle(level, number, firmware_version());
    set_level_flag = set_field;
    const int make = match.found ? match.make : -1;
    if (gtk_combo_box_get_active(GTK_COMBO_BOX(sel.make_list)) != make) {
        gtk_combo_box_set_active(GTK_COMBO_BOX(sel.make_list), make);  // runs the make handler
    } else if (match.found) {
        on_make_changed(sel.make_list, nullptr);
    }
    if (!match.found) {
        clear_model_list();
        gtk_label_set_text(GTK_LABEL(sel.note_label), "");
    } else {
        for (int position = 0; position < sel.model_entry_count; ++position) {
            if (sel.model_map[position] == match.model) {
                gtk_combo_box_set_active(GTK_COMBO_BOX(sel.model_list), position);
                break;
            }
        }
    }
    catalogue_level = level;
    if (set_field) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", level);
        set_can_level_text(text);
    }
    set_level_flag = true;
}

int selected_vehicle_number() {
    if (!sel.make_list) return 0;
    const int make = gtk_combo_box_get_active(GTK_COMBO_BOX(sel.make_list));
    const int position = gtk_combo_box_get_active(GTK_COMBO_BOX(sel.model_list));
    if (make < 0 || position < 0 || position >= sel.model_entry_count) return 0;
    const VehicleModel* model = vehicle_model(make, sel.model_map[position]);
    return model ? model->number : 0;
}

void apply_level_rule() {
    if (!sel.level_entry) return;
    const int level = can_level_value();
    if (level != 0 && level != catalogue_level) select_vehicle(level, 0, false);
    refresh_can_level_mark();
}

const char* can_level_text() { return sel.level_buffer ? gtk_entry_buffer_get_text(sel.level_buffer) : ""; }

void set_can_level_text(const char* text) {
    if (!sel.level_entry) return;
    // The entry keeps an equal text without a "changed" signal; the rule runs anyway.
    if (g_strcmp0(can_level_text(), text) == 0) {
        apply_level_rule();
        return;
    }
    gtk_entry_set_text(GTK_ENTRY(sel.level_entry), text);
}

int can_level_value() { return decimal_text_value(can_level_text()); }

void refresh_can_level_mark() {
    if (sel.level_entry) mark_entry_if_different(sel.level_entry, sel.level_buffer, device_can_level);
}

void mark_can_level_field(bool marked) {
    if (sel.level_entry) gtk_widget_modify_text(sel.level_entry, GTK_STATE_NORMAL, marked ? &MARK_RED : nullptr);
}

bool can_level_field_marked() {
    if (!sel.level_entry) return false;
    GtkRcStyle* style = gtk_widget_get_modifier_style(sel.level_entry);
    return (style->color_flags[GTK_STATE_NORMAL] & GTK_RC_TEXT) && style->text[GTK_STATE_NORMAL].red == 0xFFFF &&
           style->text[GTK_STATE_NORMAL].green == 0 && style->text[GTK_STATE_NORMAL].blue == 0;
}
