// The configuration file's key handlers: what each key reads from the editor, how
// saving makes it the reference, and how a loaded value reaches the editor.
#pragma once

#include "config/config_file_format.h"

// The editor's current value for the key: the chosen vehicle number, the CAN level
// field's integer value, or a pin row's list position or inversion (1 or 0).
int editor_key_value(const ConfigKey& record);

// After a save: the value becomes the key's reference (vehicle_number,
// device_can_level or the pin's PinReference member) and the red mark is refreshed
// (removed for the CAN level field and the inversion box).
void take_key_reference(const ConfigKey& record, int value);

// A loaded line: the value becomes the reference and the editor's choice, and the
// mark is refreshed. "carnumber" selects that vehicle without touching the CAN level
// field; "canlevel" puts the value's text into the field as it stands.
void load_key_value(const ConfigKey& record, const char* value);
