// The firmware variant check that runs before a configuration with a new CAN level is
// written to the module, and the editor's variant step built on it.
#pragma once

// For the connected module and `can_level` (1..255): VARIANT_ANY (a blank) when no
// firmware change is needed; otherwise asks the user (message 51) and returns the
// needed variant letter for Yes, 0 for No, which abandons the write.
int variant_check(int can_level);

// Runs make_variant_ready for `can_level` on the module link: asks (message 51) when
// the level needs another variant, flashes the same version's file of that variant,
// finds the module again and checks it runs the variant. True when the write may go
// on: the module runs a variant that takes the level (after a change its identity and
// status are recorded and "Successfully programmed device." is shown). Otherwise
// false, after saying what happened (nothing when the user declined); a module that
// did not come back as asked is left closed, for the main loop to find and identify.
bool editor_variant_ready(int can_level);
