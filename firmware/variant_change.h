// Changing the module's firmware to the variant a CAN level needs, and making sure the
// module, found again after the flash, runs it.
#pragma once

// Flashes the firmware file that the same-version choice gives for `can_level`, then
// finds the module again and identifies it. True when it now runs
// variant `letter`: the link is open to it and its identity and status are recorded,
// "Successfully programmed device." is shown. Otherwise false, after saying what
// happened (a failed flash has said it already); the module is left closed, for the
// main loop to find and identify.
bool change_firmware_variant(char letter, int can_level);
