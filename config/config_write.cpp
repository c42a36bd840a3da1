// A configuration write with its variant step.
#include "config/config_write.h"

#include "config/config_memory.h"
#include "device/variant_table.h"

VariantStep make_variant_ready(FrameLink& link, int can_level, VariantChange& change, DeviceIdentity* identity) {
    const int answer = change.answer(can_level);
    if (answer == 0) return VariantStep::DECLINED;
    if (answer == VARIANT_ANY) return VariantStep::READY;
    const char letter = char(answer);
    if (!change.change(letter)) return VariantStep::NOT_CHANGED;
    // A file without the variant in its name may hold another one.
    if (!identify_module(link, VARIANT_IDENTIFY_PASSES)) return VariantStep::NOT_IDENTIFIED;
    *identity = decode_identity(link.reply());
    if (identity->model != SUPPORTED_MODEL || identity->variant_letter != letter) return VariantStep::WRONG_VARIANT;
    return VariantStep::CHANGED;
}

bool write_module_configuration(FrameLink& link, const ModuleConfiguration& config) {
    if (!write_pin_area(link, config.image)) return false;
    // The level's write drains the module before it goes (send_command): what the pin
    // area's writes left behind is not taken for its answer.
    if (!write_can_level(link, config.can_level) || !write_vehicle_number(link, config.vehicle_number)) return false;
    finish_configuration(link);
    return true;
}
