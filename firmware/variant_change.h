// The editor's variant step before a configuration write: the question, the change to
// the variant a CAN level needs, and the module found again running it.
#pragma once

// Runs make_variant_ready for `can_level` on the module link: asks (message 51) when
// the level needs another variant, flashes the same version's file of that variant,
// finds the module again and checks it runs the variant. True when the write may go
// on: the module runs a variant that takes the level (after a change its identity and
// status are recorded and "Successfully programmed device." is shown). Otherwise
// false, after saying what happened (nothing when the user declined); a module that
// did not come back as asked is left closed, for the main loop to find and identify.
bool editor_variant_ready(int can_level);
