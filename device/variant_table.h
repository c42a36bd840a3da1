// Which firmware variant each CAN level needs, and the pure decision whether a module
// must change its firmware variant before it can run a level.
#pragma once

constexpr int VARIANT_TABLE_SIZE = 255;  // CAN levels 1..255
constexpr char VARIANT_ANY = ' ';        // any variant runs the level

// Entry for CAN level L at index L - 1: 'A', 'B' or VARIANT_ANY. Shared with the
// firmware selection, which also knows '-' (no firmware for the level); the table
// holds none. Zero-terminated for convenience; the terminator is not an entry.
extern const char variant_table[VARIANT_TABLE_SIZE + 1];

// The variant a CAN level needs. Levels outside 1..255 have no entry and give
// VARIANT_ANY, so they never ask for a firmware change.
char required_variant(int can_level);

// Decides the firmware change for a module that runs `variant_letter` (0 when the
// module reported no variant; the identity keeps it as an int, and it is compared
// whole so that no other value passes for a letter) and is about to get `can_level`. Returns VARIANT_ANY
// when no change is needed, otherwise the letter of the variant to change to. The
// firmware version plays no part.
char variant_change_for_level(int variant_letter, int can_level);
