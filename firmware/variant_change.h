// Changing the module's firmware to the variant a CAN level needs: the same version's
// file in that variant flashed, and the module found again once it has restarted.
#pragma once

// Flashes the firmware file that the same-version choice gives for `can_level`, then
// looks for the module again with the windows kept redrawn. True once its application
// firmware is open again (which variant it runs is the caller's check). Otherwise
// false, after saying what happened (a failed flash has said it already); a module
// that did not come back is left closed, for the main loop to find and identify.
bool change_firmware_variant(int can_level);
