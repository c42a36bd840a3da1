// The built-in vehicle catalogue (makes and models with CAN level, vehicle number,
// notes and oldest supporting firmware) and its lookups. Pure data, no GTK.
#pragma once

#include <cstdint>

// One model row. Strings are UTF-8 and never null, except the notes, which are
// null where a language has none.
struct VehicleModel {
    const char* name;       // may be empty; trailing blanks are part of it
    const char* code;       // chassis or type code; empty when the row has none
    const char* years;      // "2010->", "2005-2010" or empty
    uint16_t level;         // CAN level the module must run
    uint16_t alt_level;     // another level accepted for the same number; 0 = none
    uint16_t number;        // vehicle number, unique across the catalogue
    uint16_t reserved;      // 0
    const char* note_pl;
    const char* note_en;
    const char* note_ru;
    uint32_t min_firmware;  // oldest firmware version (high byte, low byte) with the row
};

struct VehicleMake {
    const VehicleModel* models;  // nullptr ends the make list
    const char* name;
    uint32_t count;              // number of models
};

constexpr int VEHICLE_MAKE_COUNT = 56;
constexpr int MAX_MAKE_MODELS = 71;  // the largest make; checked when the table is built

// The makes in display order, ended by an entry whose models are nullptr. Generated
// from config/vehicles.txt at build time.
extern const VehicleMake vehicle_makes[VEHICLE_MAKE_COUNT + 1];

// The model row of a make and model index, or nullptr when either is out of range.
const VehicleModel* vehicle_model(int make_index, int model_index);

// Model indexes of a make, in table order.
struct ModelList {
    int count = 0;
    int indexes[MAX_MAKE_MODELS] = {};
};

// The models of a make that `firmware_version` supports (min_firmware not above it),
// in table order. An unknown make gives an empty list.
ModelList visible_models(int make_index, uint32_t firmware_version);

struct VehicleMatch {
    bool found = false;
    int make = -1;
    int model = -1;
};

// Looks a vehicle up by CAN level and vehicle number among the rows that
// `firmware_version` supports. The first row with that number whose level or
// alternative level is `level` wins; without one, the first row with that level,
// then the first row with that alternative level; otherwise nothing is found.
// alt_level 0 means "none", so level 0 also matches every row without an
// alternative level by number alone.
VehicleMatch find_vehicle(int level, int number, uint32_t firmware_version);

// The note to show for a language index (see i18n/languages.h): Polish or Russian
// where the row has one in that language, English otherwise; "" when there is none.
// Never null.
const char* model_note_for_language(const VehicleModel& model, int language_index);

// The note in the current user interface language.
const char* model_note(const VehicleModel& model);

// Room for a model list entry: the longest row with the longest word for "year".
constexpr int MODEL_LABEL_SIZE = 192;

struct ModelLabel {
    char text[MODEL_LABEL_SIZE];
};

// The model list entry: name, blank, code, blank, `year_word`, blank, years. A null
// part is left out with its blank (the table has none; empty parts keep their blank).
// Text that would not fit is cut at a character boundary.
ModelLabel model_label_with(const VehicleModel& model, const char* year_word);

// model_label_with the current language's word for "year" (message 7).
ModelLabel model_label(const VehicleModel& model);
