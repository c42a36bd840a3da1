// Reading, resetting and writing the module's configuration, between the module's
// memory and the editor's rows, vehicle selection and CAN level field.
#pragma once

#include <cstdint>

#include "config/pin_config.h"

// Reads the header and the pin area from the module and shows them in the editor.
// On failure shows message 13; what was shown before the failure stays.
void read_configuration();

// Shows the built-in default image with CAN level 3; sends nothing.
void load_default_configuration();

// Writes the editor's configuration to the module: the pin area in three blocks, the
// CAN level, the vehicle number, then command 0x09. Asks first (variant_check) when
// the level needs another firmware variant and, when the user agreed, writes only
// once the module runs that variant after the firmware change. A level the header cannot hold (outside 0..256) is refused
// with message 38 before anything changes. Without an editor nothing happens.
void write_configuration();

// Puts an image into the pin rows and their references, pin by pin.
void show_image(const ConfigImage& image);
