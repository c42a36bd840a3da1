// The firmware folder's names: version sets, the same-version choice, suffixes, paths.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/firmware_files.h"

namespace {

VersionSets sets_of(const std::vector<const char*>& names) {
    VersionSets sets;
    for (const char* name : names) add_firmware_name(sets, name);
    return sets;
}

TEST(FirmwareFiles, NamesMarkAvailableAndGroupedVersions) {
    const VersionSets sets = sets_of({"QV450_1601.bin", "QV450_1605.bin", "QV450_1611_GRUPA_B.bin", ".QV450_1700.bin",
                                      "QV451_1800.bin", "qv450_1900.bin", "QV450_abcd.bin", "QV450_12x4.bin",
                                      "QV450", "QV450_0003.bin", "QV450-9999_GRUPA_A.bin"});
    EXPECT_EQ(available_versions(sets), (std::vector<int>{3, 12, 1601, 1605, 1611, 9999}));
    EXPECT_TRUE(version_in(sets.grouped, 1611));
    EXPECT_TRUE(version_in(sets.grouped, 9999));
    EXPECT_FALSE(version_in(sets.grouped, 1605));
    EXPECT_FALSE(version_in(sets.grouped, 12));
    EXPECT_FALSE(version_in(sets.available, 10016));
}

TEST(FirmwareFiles, SameVersionChoiceWalksWordByWord) {
    struct Case {
        std::vector<const char*> names;
        int target;
        int expected;
    };
    const Case cases[] = {
        // The highest of the first word that reaches the target, even over the
        // target itself: 1601, 1605 and 1610 share the word 1600-1631.
        {{"QV450_1601.bin", "QV450_1605.bin", "QV450_1610.bin"}, 1605, 1610},
        {{"QV450_1601.bin", "QV450_1605.bin", "QV450_1611_GRUPA_B.bin"}, 1611, 1611},
        {{"QV450_1601.bin", "QV450_1610.bin"}, 1605, 1610},
        {{"QV450_1601.bin", "QV450_1603.bin"}, 1602, 1603},
        // Words below the target are passed over until one reaches it.
        {{"QV450_1500.bin", "QV450_1605.bin", "QV450_1700.bin"}, 1605, 1605},
        {{"QV450_1500.bin", "QV450_1700.bin"}, 1605, 1700},
        // Nothing reaches the target: the highest overall.
        {{"QV450_1500.bin", "QV450_1510.bin"}, 1605, 1510},
        {{}, 1605, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(same_version_choice(sets_of(c.names), c.target), c.expected) << c.target;
}

TEST(FirmwareFiles, SuffixByVariantTable) {
    struct Case {
        bool grouped;
        int level;
        bool flag;
        const char* expected;
    };
    const Case cases[] = {
        {false, 136, false, ""},
        {true, 136, false, "_GRUPA_B"},
        {true, 136, true, "_GRUPA_BJ"},
        {true, 1, false, "_GRUPA_A"},
        {true, 1, true, "_GRUPA_AJ"},
        {true, 3, false, "_GRUPA_A"},  // any variant: the default group
        {true, 3, true, "_GRUPA_A"},
        {true, 250, false, "_GRUPA_B"},
    };
    for (const Case& c : cases) {
        char out[16];
        ASSERT_TRUE(firmware_suffix(c.grouped, c.level, c.flag, out, sizeof out));
        EXPECT_STREQ(out, c.expected) << c.level;
    }
}

TEST(FirmwareFiles, PathsAndFolder) {
    char path[64];
    ASSERT_TRUE(firmware_file_path("/opt/qv450/firmware/", 1611, "_GRUPA_BJ", path, sizeof path));
    EXPECT_STREQ(path, "/opt/qv450/firmware/QV450_1611_GRUPA_BJ.bin");
    ASSERT_TRUE(firmware_file_path("f/", 7, "", path, sizeof path));
    EXPECT_STREQ(path, "f/QV450_0007.bin");
    EXPECT_FALSE(firmware_file_path("/a/very/long/folder/name/that/goes/on/and/on/", 1611, "_GRUPA_B", path, 40));
    ASSERT_TRUE(firmware_folder_for_program("/opt/qv450/bin/qv450", path, sizeof path));
    EXPECT_STREQ(path, "/opt/qv450/firmware/");
}

}  // namespace
