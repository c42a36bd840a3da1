// Choosing a firmware file from the firmware folder and flashing it.
#pragma once

enum FirmwareSelectMode {
    SELECT_BY_DIALOG,     // the user picks a version (Tools menu)
    SELECT_SAME_VERSION,  // the module's own version in the variant its CAN level needs
};

// Picks the firmware file for the mode and flashes it, in the variant `can_level`
// needs; reports failures itself. Only while a module is connected.
void select_firmware(FirmwareSelectMode mode, int can_level);

// select_firmware, leaving unsaid what `quiet` (FlashQuiet flags) names. True when
// the module was programmed.
bool select_and_flash(FirmwareSelectMode mode, int quiet, int can_level);

// Makes select_firmware use `folder` (ending in '/') instead of the firmware folder
// beside the program; nullptr goes back to that one.
void use_firmware_folder(const char* folder);
