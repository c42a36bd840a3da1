// The tool's own preferences, kept in one small binary file in the user's profile
// folder and rewritten whole on every change.
#pragma once

constexpr int LANGUAGE_CODE_SIZE = 20;  // 19 characters and the terminator
constexpr int FILTER_TAG_COUNT = 25;
constexpr int FILTER_TAG_SIZE = 50;     // 49 characters and the terminator

struct Settings {
    unsigned char check_updates_at_startup = 1;     // non-zero: run the update check at start-up
    char language_code[LANGUAGE_CODE_SIZE] = {};    // empty: take the system language
    const char* firmware_folder = nullptr;          // UTF-8, nullptr or "" when none
    const char* log_folder = nullptr;
    const char* config_folder = nullptr;
    char filter_tags[FILTER_TAG_COUNT][FILTER_TAG_SIZE] = {};
};

extern Settings settings;

// Reads the settings file; a missing or damaged file gives the defaults for what it lacks.
void load_settings();

// Writes the whole settings file at once. Failures are silent.
void save_settings();

// The settings file: ".qv450rc" in the user's profile folder.
constexpr const char* SETTINGS_FILE_NAME = ".qv450rc";
// Bytes of the file image kept for the whole run (the folder fields point into it),
// how many of them a load reads at most, and the zero bytes set after what was read.
constexpr int SETTINGS_IMAGE_SIZE = 5000;
constexpr int SETTINGS_READ_MAX = 4995;
constexpr int SETTINGS_TAIL_ZEROS = SETTINGS_IMAGE_SIZE - SETTINGS_READ_MAX;

// Fills `out` from the first `count` bytes of a file image, which must have room for
// SETTINGS_TAIL_ZEROS bytes more: they are set to zero. `out`'s folder fields then
// point into `image`, which must outlive their use. An empty image gives the
// defaults; texts cut off by the end of the image read as empty; a language code or
// filter text longer than its field is cut to fit.
void decode_settings(Settings& out, unsigned char* image, int count);

// Writes the file image of `in` to `out` (room for SETTINGS_READ_MAX bytes) and
// returns its length: 30 when every text is empty. The file always fits what a load
// reads: a folder that would make it longer than SETTINGS_READ_MAX is saved as none.
int encode_settings(const Settings& in, unsigned char* out);
