// The catalogue texts in the current user interface language.
#include "config/vehicle_catalogue.h"
#include "i18n/languages.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"

const char* model_note(const VehicleModel& model) {
    return model_note_for_language(model, current_language_index());
}

ModelLabel model_label(const VehicleModel& model) {
    return model_label_with(model, message_text(MSG_YEAR));
}
