// The settings file: its byte layout, and loading and saving in the profile folder.
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/profile.h"
#include "unit/fuzz_input.h"
#include "unit/temp_folder.h"

namespace {

std::string encoded(const Settings& s) {
    unsigned char out[SETTINGS_READ_MAX];
    return std::string(reinterpret_cast<char*>(out), size_t(encode_settings(s, out)));
}

// Decodes a file's bytes with an image that keeps the folder texts alive.
struct Decoded {
    unsigned char image[SETTINGS_IMAGE_SIZE];
    Settings s;
    explicit Decoded(const std::string& bytes) {
        std::memset(image, 0xAA, sizeof image);  // no help from zeros left around
        std::memcpy(image, bytes.data(), bytes.size());
        s.check_updates_at_startup = 77;
        std::strcpy(s.language_code, "zz");
        std::strcpy(s.filter_tags[3], "stale");
        decode_settings(s, image, int(bytes.size()));
    }
};

void expect_all_texts_empty(const Settings& s) {
    EXPECT_STREQ(s.language_code, "");
    EXPECT_STREQ(s.firmware_folder, "");
    EXPECT_STREQ(s.log_folder, "");
    EXPECT_STREQ(s.config_folder, "");
    for (const auto& tag : s.filter_tags) EXPECT_STREQ(tag, "");
}

std::string zeros(size_t n) { return std::string(n, '\0'); }

TEST(SettingsFormat, DefaultsAreThirtyBytes) {
    const Settings defaults;
    EXPECT_EQ(encoded(defaults), std::string(1, '\x01') + zeros(29));
}

TEST(SettingsFormat, FieldsFollowEachOtherInOrder) {
    Settings s;
    s.check_updates_at_startup = 0;
    std::strcpy(s.language_code, "pl");
    s.firmware_folder = "/fw";
    s.log_folder = nullptr;
    s.config_folder = "C:\\cfg";
    std::strcpy(s.filter_tags[0], "DOOR");
    std::strcpy(s.filter_tags[24], "LAST");
    const std::string expected = std::string(1, '\0') + "pl" + zeros(1) + "/fw" + zeros(1) +
                                 zeros(1) + "C:\\cfg" + zeros(1) + "DOOR" + zeros(24) + "LAST" +
                                 zeros(1);
    EXPECT_EQ(encoded(s), expected);
}

TEST(SettingsFormat, EmptyImageGivesTheDefaults) {
    Decoded d("");
    EXPECT_EQ(d.s.check_updates_at_startup, 1);
    expect_all_texts_empty(d.s);
}

TEST(SettingsFormat, OneZeroByteTurnsTheUpdateCheckOff) {
    Decoded d(zeros(1));
    EXPECT_EQ(d.s.check_updates_at_startup, 0);
    expect_all_texts_empty(d.s);
}

TEST(SettingsFormat, AnyNonZeroFlagByteIsOn) {
    Decoded d("\x05");
    EXPECT_NE(d.s.check_updates_at_startup, 0);
}

TEST(SettingsFormat, FiveZeroBytesFollowWhatWasRead) {
    Decoded d("\x01" "de");
    for (int i = 3; i < 3 + SETTINGS_TAIL_ZEROS; ++i) EXPECT_EQ(d.image[i], 0) << i;
    EXPECT_EQ(d.image[3 + SETTINGS_TAIL_ZEROS], 0xAA);
}

TEST(SettingsFormat, TextsCutOffByTheEndReadAsEmpty) {
    // The firmware folder lost its zero byte and everything after it.
    Decoded d(std::string("\x01") + "de" + zeros(1) + "/firm");
    EXPECT_EQ(d.s.check_updates_at_startup, 1);
    EXPECT_STREQ(d.s.language_code, "de");
    EXPECT_STREQ(d.s.firmware_folder, "/firm");
    EXPECT_STREQ(d.s.log_folder, "");
    EXPECT_STREQ(d.s.config_folder, "");
    for (const auto& tag : d.s.filter_tags) EXPECT_STREQ(tag, "");
}

TEST(SettingsFormat, FolderFieldsPointIntoTheImage) {
    Decoded d(std::string("\x01") + zeros(1) + "/a" + zeros(1) + "/b" + zeros(1) + "/c" + zeros(1));
    const char* image = reinterpret_cast<const char*>(d.image);
    EXPECT_EQ(d.s.firmware_folder, image + 2);
    EXPECT_EQ(d.s.log_folder, image + 5);
    EXPECT_EQ(d.s.config_folder, image + 8);
}

TEST(SettingsFormat, OverLongTextsAreCutToTheirFields) {
    const std::string long_language(30, 'L');
    const std::string long_tag(80, 'T');
    std::string bytes = std::string("\x01") + long_language + zeros(1) + "/fw" + zeros(3);
    bytes += long_tag + zeros(1) + "second" + zeros(1);
    Decoded d(bytes);
    EXPECT_EQ(std::string(d.s.language_code), long_language.substr(0, LANGUAGE_CODE_SIZE - 1));
    EXPECT_STREQ(d.s.firmware_folder, "/fw");
    EXPECT_EQ(std::string(d.s.filter_tags[0]), long_tag.substr(0, FILTER_TAG_SIZE - 1));
    EXPECT_STREQ(d.s.filter_tags[1], "second");
    EXPECT_STREQ(d.s.filter_tags[2], "");
}

TEST(SettingsFormat, RoundTripIsByteIdentical) {
    Settings s;
    s.check_updates_at_startup = 0;
    std::strcpy(s.language_code, "cs");
    s.config_folder = "/home/u\xC5\xBC/configs";
    for (int i = 0; i < FILTER_TAG_COUNT; i += 3) std::snprintf(s.filter_tags[i], FILTER_TAG_SIZE, "tag %d", i);
    const std::string first = encoded(s);
    Decoded d(first);
    EXPECT_EQ(d.s.check_updates_at_startup, 0);
    EXPECT_STREQ(d.s.language_code, "cs");
    EXPECT_STREQ(d.s.firmware_folder, "");
    EXPECT_STREQ(d.s.log_folder, "");
    EXPECT_STREQ(d.s.config_folder, s.config_folder);
    for (int i = 0; i < FILTER_TAG_COUNT; ++i) EXPECT_STREQ(d.s.filter_tags[i], s.filter_tags[i]);
    EXPECT_EQ(encoded(d.s), first);
}

TEST(SettingsFormat, FullFieldsInMemoryAreNeverReadPastTheirEnd) {
    Settings s;
    std::memset(s.language_code, 'L', LANGUAGE_CODE_SIZE);  // no terminator
    std::memset(s.filter_tags[7], 'T', FILTER_TAG_SIZE);
    const std::string bytes = encoded(s);
    EXPECT_EQ(bytes.size(), 30u + (LANGUAGE_CODE_SIZE - 1) + (FILTER_TAG_SIZE - 1));
    Decoded d(bytes);
    EXPECT_EQ(std::string(d.s.language_code), std::string(LANGUAGE_CODE_SIZE - 1, 'L'));
    EXPECT_EQ(std::string(d.s.filter_tags[7]), std::string(FILTER_TAG_SIZE - 1, 'T'));
}

TEST(SettingsFormat, AFolderThatWouldOverflowTheFileIsSavedAsNone) {
    const std::string huge(4000, 'f');
    const std::string fits(600, 'c');
    Settings s;
    s.firmware_folder = huge.c_str();
    s.log_folder = huge.c_str();  // 4000 + 4000 bytes cannot both be read back
    s.config_folder = fits.c_str();
    const std::string bytes = encoded(s);
    EXPECT_LE(bytes.size(), size_t(SETTINGS_READ_MAX));
    Decoded d(bytes);
    EXPECT_EQ(std::string(d.s.firmware_folder), huge);
    EXPECT_STREQ(d.s.log_folder, "");
    EXPECT_EQ(std::string(d.s.config_folder), fits);
}

// Bounded fuzz run: a damaged settings file must load into fields that end inside
// their arrays and folder texts that end inside the image, and what is loaded must
// save into a file that loads the same. The sanitizer build catches any overrun.
TEST(SettingsFuzz, LoaderKeepsItsFieldsOnRandomAndMutatedInput) {
    Settings sample;
    std::strcpy(sample.language_code, "pl");
    sample.firmware_folder = "/home/u/firmware";
    sample.config_folder = "/home/u/configs";
    for (int i = 0; i < FILTER_TAG_COUNT; i += 2) std::snprintf(sample.filter_tags[i], FILTER_TAG_SIZE, "TAG%d", i);
    const std::string seed = encoded(sample);
    const std::string alphabet = std::string("\0\0\0\x01/abc", 8) + std::string(60, 'x');
    std::mt19937 random(1400);
    for (int round = 0; round < 20000; ++round) {
        const size_t longest = round % 10 == 0 ? SETTINGS_READ_MAX : 400;
        const std::string input = fuzz_input(random, round, seed, alphabet, longest);
        Decoded d(input);
        ASSERT_EQ(d.s.check_updates_at_startup, input.empty() ? 1 : uint8_t(input[0]));
        ASSERT_LT(strnlen(d.s.language_code, LANGUAGE_CODE_SIZE), size_t(LANGUAGE_CODE_SIZE));
        for (const auto& tag : d.s.filter_tags) ASSERT_LT(strnlen(tag, FILTER_TAG_SIZE), size_t(FILTER_TAG_SIZE));
        const char* image_start = reinterpret_cast<const char*>(d.image);
        for (const char* folder : {d.s.firmware_folder, d.s.log_folder, d.s.config_folder}) {
            ASSERT_GE(folder, image_start);
            ASSERT_LT(folder + std::strlen(folder), image_start + SETTINGS_IMAGE_SIZE);
        }

        const std::string saved = encoded(d.s);
        ASSERT_LE(saved.size(), size_t(SETTINGS_READ_MAX));
        Decoded again(saved);
        ASSERT_EQ(again.s.check_updates_at_startup, d.s.check_updates_at_startup);
        ASSERT_STREQ(again.s.language_code, d.s.language_code);
        for (int i = 0; i < FILTER_TAG_COUNT; ++i) ASSERT_STREQ(again.s.filter_tags[i], d.s.filter_tags[i]);
        // A folder that would make the file too long is saved as none.
        const char* folders[] = {d.s.firmware_folder, d.s.log_folder, d.s.config_folder};
        const char* reread[] = {again.s.firmware_folder, again.s.log_folder, again.s.config_folder};
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(!*reread[i] || std::strcmp(reread[i], folders[i]) == 0);
    }
}

// load_settings and save_settings on a profile folder of the test's own.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = settings;
        remember("USERPROFILE", old_profile_, had_profile_);
        remember("HOME", old_home_, had_home_);
        setenv("USERPROFILE", profile_.path().c_str(), 1);
    }
    void TearDown() override {
        restore("USERPROFILE", old_profile_, had_profile_);
        restore("HOME", old_home_, had_home_);
        settings = saved_;
    }
    std::string file() const { return profile_.get(SETTINGS_FILE_NAME); }
    void put(const std::string& bytes) const { profile_.put(SETTINGS_FILE_NAME, bytes); }

    TempFolder profile_;

private:
    static void remember(const char* name, std::string& value, bool& had) {
        const char* v = std::getenv(name);
        had = v != nullptr;
        value = v ? v : "";
    }
    static void restore(const char* name, const std::string& value, bool had) {
        if (had) setenv(name, value.c_str(), 1);
        else unsetenv(name);
    }
    Settings saved_;
    std::string old_profile_, old_home_;
    bool had_profile_ = false, had_home_ = false;
};

TEST_F(SettingsFile, MissingFileGivesTheDefaults) {
    settings.check_updates_at_startup = 0;
    load_settings();
    EXPECT_EQ(settings.check_updates_at_startup, 1);
    expect_all_texts_empty(settings);
}

TEST_F(SettingsFile, EmptyFileGivesTheDefaults) {
    put("");
    load_settings();
    EXPECT_EQ(settings.check_updates_at_startup, 1);
    expect_all_texts_empty(settings);
}

TEST_F(SettingsFile, SaveOfTheDefaultsWritesThirtyBytes) {
    settings = Settings();
    save_settings();
    EXPECT_EQ(file(), std::string(1, '\x01') + zeros(29));
}

TEST_F(SettingsFile, SavedFileReadsBackAndSavesIdentically) {
    settings = Settings();
    std::strcpy(settings.language_code, "pl");
    settings.firmware_folder = "/home/user/firmware";
    save_settings();
    const std::string first = file();

    settings = Settings();
    load_settings();
    EXPECT_EQ(settings.check_updates_at_startup, 1);
    EXPECT_STREQ(settings.language_code, "pl");
    EXPECT_STREQ(settings.firmware_folder, "/home/user/firmware");
    EXPECT_STREQ(settings.log_folder, "");
    EXPECT_STREQ(settings.config_folder, "");
    for (const auto& tag : settings.filter_tags) EXPECT_STREQ(tag, "");

    save_settings();
    EXPECT_EQ(file(), first);
    EXPECT_EQ(profile_.names(), std::vector<std::string>{SETTINGS_FILE_NAME});

    // A folder that takes all the room the file has comes back too.
    const std::string longest(SETTINGS_READ_MAX - 30, 'f');
    settings = Settings();
    settings.log_folder = longest.c_str();
    save_settings();
    settings = Settings();
    load_settings();
    EXPECT_EQ(std::string(settings.log_folder), longest);
}

TEST_F(SettingsFile, OnlyTheFirstBytesOfALongFileAreUsed) {
    const std::string folder(6000, 'f');
    put(std::string(1, '\0') + zeros(1) + folder + zeros(1) + "/log" + zeros(1));
    load_settings();
    EXPECT_EQ(settings.check_updates_at_startup, 0);
    EXPECT_EQ(std::string(settings.firmware_folder), folder.substr(0, SETTINGS_READ_MAX - 2));
    EXPECT_STREQ(settings.log_folder, "");
    EXPECT_STREQ(settings.config_folder, "");
}

TEST_F(SettingsFile, FailedSaveIsSilentAndKeepsTheRecord) {
    setenv("USERPROFILE", profile_.file("missing").c_str(), 1);
    std::strcpy(settings.language_code, "fr");
    save_settings();
    EXPECT_STREQ(settings.language_code, "fr");
    EXPECT_EQ(profile_.names(), std::vector<std::string>{});
}

TEST_F(SettingsFile, SaveFailingHalfWayLeavesTheOldFile) {
    put("\x01" "de");
    const std::string folder(2000, 'f');
    settings = Settings();
    settings.firmware_folder = folder.c_str();
    {
        ScopedFileSizeLimit limit(100);
        save_settings();
    }
    EXPECT_EQ(file(), "\x01" "de");
    EXPECT_EQ(profile_.names(), std::vector<std::string>{SETTINGS_FILE_NAME});
}

TEST(ProfileFolder, UserProfileComesFirstThenHome) {
    const char* old_profile = std::getenv("USERPROFILE");
    const char* old_home = std::getenv("HOME");
    const std::string keep_profile = old_profile ? old_profile : "";
    const std::string keep_home = old_home ? old_home : "";

    char path[64];
    setenv("USERPROFILE", "/p", 1);
    setenv("HOME", "/h", 1);
    EXPECT_TRUE(platform::profile_file_path(".qv450rc", path, sizeof path));
    EXPECT_STREQ(path, "/p/.qv450rc");
    setenv("USERPROFILE", "", 1);
    EXPECT_TRUE(platform::profile_file_path(".qv450rc", path, sizeof path));
    EXPECT_STREQ(path, "/h/.qv450rc");
    unsetenv("USERPROFILE");
    EXPECT_STREQ(platform::profile_folder(), "/h");
    EXPECT_FALSE(platform::profile_file_path(".qv450rc", path, 5));  // does not fit
    EXPECT_STREQ(path, "");
    unsetenv("HOME");
    EXPECT_EQ(platform::profile_folder(), nullptr);
    EXPECT_FALSE(platform::profile_file_path(".qv450rc", path, sizeof path));

    if (old_profile) setenv("USERPROFILE", keep_profile.c_str(), 1);
    if (old_home) setenv("HOME", keep_home.c_str(), 1);
}

}  // namespace
