// The firmware variant check that runs before a configuration with a new CAN level is
// written to the module.
#pragma once

// For the connected module and `can_level` (1..255): VARIANT_ANY (a blank) when no
// firmware change is needed; otherwise asks the user (message 51) and returns the
// needed variant letter for Yes, 0 for No, which abandons the write.
int variant_check(int can_level);
