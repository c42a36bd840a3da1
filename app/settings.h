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
