// The firmware variant table and the variant change decision.
#include "device/variant_table.h"

// Ten levels per piece; the comment names the first and last level of the piece.
const char variant_table[VARIANT_TABLE_SIZE + 1] =
    "AA A AAAAA"  // 1-10
    "A AAAAAAAA"  // 11-20
    "AAAAAAAAAA"  // 21-30
    "AAAAAAAAAA"  // 31-40
    "AA AA AAAA"  // 41-50
    "AAAAAAAAAA"  // 51-60
    "A AAAAAAAA"  // 61-70
    "AA  AAAAAA"  // 71-80
    "AAA    AAA"  // 81-90
    "AAAAAAAAAA"  // 91-100
    "AAAAAAAAA "  // 101-110
    "AAAAAAAAAA"  // 111-120
    "AAAAA AA A"  // 121-130
    "   AABABB "  // 131-140
    "ABBAAAA   "  // 141-150
    "BBBBBAAAAA"  // 151-160
    "BBABAB BBA"  // 161-170
    "ABBABABB  "  // 171-180
    "BBABBBABBA"  // 181-190
    " ABBAAABBA"  // 191-200
    "BBBAAAAABB"  // 201-210
    "AAAB AAAAA"  // 211-220
    "BBAB AABBB"  // 221-230
    "BAAABABA B"  // 231-240
    "BBAABBBABB"  // 241-250
    "B    ";      // 251-255

static_assert(sizeof variant_table == VARIANT_TABLE_SIZE + 1, "one entry per CAN level 1..255");

char required_variant(int can_level) {
    if (can_level < 1 || can_level > VARIANT_TABLE_SIZE) return VARIANT_ANY;
    return variant_table[can_level - 1];
}

char variant_change_for_level(int variant_letter, int can_level) {
    // A module that names no variant runs whatever it was given; nothing to compare.
    if (variant_letter == 0) return VARIANT_ANY;
    const char needed = required_variant(can_level);
    if (needed == VARIANT_ANY || needed == variant_letter) return VARIANT_ANY;
    return needed;
}
