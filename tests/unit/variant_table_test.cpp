// The firmware variant table and the decision whether a CAN level needs another variant.
#include "device/variant_table.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

TEST(VariantTable, HoldsOneLetterOrBlankPerLevel) {
    int a = 0, b = 0, any = 0;
    for (int i = 0; i < VARIANT_TABLE_SIZE; ++i) {
        const char entry = variant_table[i];
        if (entry == 'A') ++a;
        else if (entry == 'B') ++b;
        else if (entry == VARIANT_ANY) ++any;
        else ADD_FAILURE() << "level " << i + 1 << " has '" << entry << "'";
    }
    EXPECT_EQ(a, 166);
    EXPECT_EQ(b, 56);
    EXPECT_EQ(any, 33);
    EXPECT_EQ(variant_table[VARIANT_TABLE_SIZE], '\0');
    EXPECT_EQ(std::strlen(variant_table), size_t(VARIANT_TABLE_SIZE));
}

TEST(VariantTable, LevelsAtTheEdgesOfTheirRanges) {
    const std::pair<int, char> cases[] = {
        {1, 'A'},   {2, 'A'},   {3, ' '},   {4, 'A'},   {5, ' '},   {12, ' '},  {42, 'A'},
        {43, ' '},  {73, ' '},  {74, ' '},  {84, ' '},  {87, ' '},  {88, 'A'},  {110, ' '},
        {131, ' '}, {133, ' '}, {135, 'A'}, {136, 'B'}, {137, 'A'}, {138, 'B'}, {139, 'B'},
        {140, ' '}, {151, 'B'}, {155, 'B'}, {156, 'A'}, {167, ' '}, {214, 'B'}, {215, ' '},
        {239, ' '}, {248, 'A'}, {249, 'B'}, {251, 'B'}, {252, ' '}, {255, ' '},
    };
    for (const auto& c : cases) EXPECT_EQ(required_variant(c.first), c.second) << c.first;
}

TEST(VariantTable, LevelsWithoutAnEntryAcceptAnyVariant) {
    for (int level : {0, -1, 256, 1000, INT_MIN, INT_MAX}) {
        EXPECT_EQ(required_variant(level), VARIANT_ANY) << level;
        EXPECT_EQ(variant_change_for_level('A', level), VARIANT_ANY) << level;
        EXPECT_EQ(variant_change_for_level('B', level), VARIANT_ANY) << level;
    }
}

TEST(VariantChange, ModuleWithoutVariantNeverChanges) {
    for (int level = 1; level <= VARIANT_TABLE_SIZE; ++level) {
        EXPECT_EQ(variant_change_for_level(0, level), VARIANT_ANY) << level;
    }
}

TEST(VariantChange, DecidesByTheModulesVariantAndTheLevel) {
    struct Case {
        int module;
        int level;
        char expected;
        const char* why;
    };
    const Case cases[] = {
        {'A', 136, 'B', "level 136 needs B"},
        {'B', 3, ' ', "level 3 runs on any variant"},
        {'A', 1, ' ', "the variants agree"},
        {'B', 1, 'A', "level 1 needs A"},
        {'B', 136, ' ', "the variants agree"},
        {'A', 255, ' ', "last level runs on any variant"},
        {'B', 249, ' ', "the variants agree"},
        {'A', 249, 'B', "level 249 needs B"},
        {'C', 1, 'A', "a variant the table does not know still gets the level's letter"},
        {'C', 3, ' ', "any variant"},
        {'A' + 256, 1, 'A', "only the letter itself counts as agreeing"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(variant_change_for_level(c.module, c.level), c.expected)
            << c.module << "/" << c.level << ": " << c.why;
    }
}

}  // namespace
