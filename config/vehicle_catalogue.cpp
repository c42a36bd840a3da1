// Lookups in the vehicle catalogue: visible models, vehicle search, notes and labels.
#include "config/vehicle_catalogue.h"

#include "i18n/languages.h"

#include <cstring>
#include <initializer_list>

const VehicleModel* vehicle_model(int make_index, int model_index) {
    if (make_index < 0 || make_index >= VEHICLE_MAKE_COUNT) return nullptr;
    const VehicleMake& make = vehicle_makes[make_index];
    if (model_index < 0 || uint32_t(model_index) >= make.count) return nullptr;
    return &make.models[model_index];
}

ModelList visible_models(int make_index, uint32_t firmware_version) {
    ModelList list;
    if (make_index < 0 || make_index >= VEHICLE_MAKE_COUNT) return list;
    const VehicleMake& make = vehicle_makes[make_index];
    for (uint32_t i = 0; i < make.count && list.count < MAX_MAKE_MODELS; ++i) {
        if (make.models[i].min_firmware <= firmware_version) list.indexes[list.count++] = int(i);
    }
    return list;
}

VehicleMatch find_vehicle(int level, int number, uint32_t firmware_version) {
    VehicleMatch by_level;
    VehicleMatch by_alt_level;
    for (int m = 0; m < VEHICLE_MAKE_COUNT; ++m) {
        const VehicleMake& make = vehicle_makes[m];
        for (uint32_t i = 0; i < make.count; ++i) {
            const VehicleModel& row = make.models[i];
            if (row.min_firmware > firmware_version) continue;
            const bool level_matches = row.level == level;
            const bool alt_matches = row.alt_level == level;
            if (row.number == number && (level_matches || alt_matches)) return {true, m, int(i)};
            if (level_matches && !by_level.found) by_level = {true, m, int(i)};
            if (alt_matches && !by_alt_level.found) by_alt_level = {true, m, int(i)};
        }
    }
    return by_level.found ? by_level : by_alt_level;
}

const char* model_note_for_language(const VehicleModel& model, int language_index) {
    const char* chosen = model.note_en;
    if (language_index == LANGUAGE_POLISH) chosen = model.note_pl;
    if (language_index == LANGUAGE_RUSSIAN) chosen = model.note_ru;
    if (!chosen) chosen = model.note_en;
    return chosen ? chosen : "";
}

namespace {

// Appends text at *fill, keeping room for the terminator and cutting before a UTF-8
// character that would not fit whole. False when the text had to be cut.
bool append_text(char* out, int* fill, const char* text) {
    const int room = MODEL_LABEL_SIZE - 1 - *fill;
    int n = int(std::strlen(text));
    const bool whole = n <= room;
    if (!whole) {
        n = room;
        // Back up over continuation bytes so a multi-byte character is not split.
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(out + *fill, text, size_t(n));
    *fill += n;
    out[*fill] = '\0';
    return whole;
}

}  // namespace

ModelLabel model_label_with(const VehicleModel& model, const char* year_word) {
    ModelLabel label;
    label.text[0] = '\0';
    int fill = 0;
    bool first = true;
    for (const char* part : {model.name, model.code, year_word, model.years}) {
        if (!part) continue;
        // After a cut nothing more is added: a label is either whole or a clean prefix.
        if (!first && !append_text(label.text, &fill, " ")) break;
        if (!append_text(label.text, &fill, part)) break;
        first = false;
    }
    return label;
}
