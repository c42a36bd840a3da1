// The editor's vehicle selector: make and model lists, installation note and the CAN
// level field, with the rule that ties the level to the catalogue selection.
#pragma once

#include <gtk/gtk.h>

#include "config/vehicle_catalogue.h"

// CAN level that belongs to the current catalogue selection.
extern int catalogue_level;
// While true, choosing a model writes the model's level into the CAN level field.
extern bool set_level_flag;

// The selector's widgets; nullptr while no editor exists.
struct VehicleSelector {
    GtkWidget* make_list = nullptr;
    GtkWidget* model_list = nullptr;
    GtkWidget* note_label = nullptr;
    GtkWidget* level_entry = nullptr;
    GtkEntryBuffer* level_buffer = nullptr;
    int model_map[MAX_MAKE_MODELS] = {};  // model list position -> model index within the make
    int model_entry_count = 0;
    int make_entry_count = 0;
};

extern VehicleSelector vehicle_selector;

// Appends the selector (make and model row, CAN level row) to the editor box, fills
// the make list and chooses the first make and its first model.
void build_vehicle_selector(GtkWidget* editor_box);

// Forgets the widgets (the editor box that holds them is being destroyed).
void forget_vehicle_selector();

// Selects the catalogue row find_vehicle gives for the level and number (or nothing)
// and makes `level` the catalogue level; with `set_field` the CAN level field shows
// `level` too.
void select_vehicle(int level, int number, bool set_field);

// The vehicle number of the chosen model; 0 when no make or no model is chosen.
int selected_vehicle_number();

// The CAN level field's change handler: a typed level other than 0 and the catalogue
// level moves the selection to that level's first vehicle; the field is marked red
// while its value differs from device_can_level.
void apply_level_rule();

// The CAN level field: its text ("" without an editor), its decimal value, and its red
// mark (refresh compares with device_can_level).
const char* can_level_text();
void set_can_level_text(const char* text);
int can_level_value();
void refresh_can_level_mark();
void mark_can_level_field(bool marked);
bool can_level_field_marked();
