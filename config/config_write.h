// Writing a configuration to the module on a frame link: the firmware variant its CAN
// level needs first, then the memory writes. The editor's Save and the command-line
// tool both write through here, so that the same configuration reaches the module as
// the same bytes. Reports nothing to the user; no GTK.
#pragma once

#include "config/pin_config.h"
#include "connection/connection.h"
#include "device/frame_link.h"

// A configuration as it goes to the module: the header's values and the pin area.
struct ModuleConfiguration {
    int can_level = 0;
    int vehicle_number = 0;
    ConfigImage image{};
};

// The caller's part of the variant step: the question and the firmware change.
class VariantChange {
public:
    virtual ~VariantChange() = default;
    // variant_check's answer for the level: 0 when the change was declined,
    // VARIANT_ANY when none is needed, else the variant letter to change to.
    virtual int answer(int can_level) = 0;
    // Flashes the firmware of variant `letter` and opens the module again on the link
    // once it has restarted. False, after the caller has said why, when it could not.
    virtual bool change(char letter) = 0;
};

enum class VariantStep {
    READY,           // the module runs a variant that takes the level: write
    CHANGED,         // it does now, after the change (its identity in *identity)
    DECLINED,        // the change was declined: write nothing
    NOT_CHANGED,     // change() failed
    NOT_IDENTIFIED,  // the module, found again, did not tell its identity
    WRONG_VARIANT,   // it runs another variant than the one asked for (identity in *identity)
};

// How many polls the identification after a change may take.
constexpr int VARIANT_IDENTIFY_PASSES = 40;

// Asks `change` what the level needs and has it changed. The variant a change brought
// is checked on the link itself: a level must never reach firmware that cannot run it.
VariantStep make_variant_ready(FrameLink& link, int can_level, VariantChange& change, DeviceIdentity* identity);

// The memory writes: the pin area, the CAN level, the vehicle number, then command
// 0x09. False at the first write not acknowledged; what follows it is not sent. The
// level must be one can_level_storable accepts and the number fit 0..65535.
bool write_module_configuration(FrameLink& link, const ModuleConfiguration& config);
