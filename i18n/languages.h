// The languages of the user interface: the language list, the language chosen at
// start-up, the Language menu's action and the restart with another language.
#pragma once

#include "i18n/messages.h"
#include "platform/process.h"

// The action behind a language's menu entry; it is called with the record's code.
using LanguageAction = void (*)(const char* code);

struct LanguageRecord {
    const char* code;            // lowercase ISO 639-1 code; null ends the list
    const char* const* table;    // MESSAGE_COUNT texts, by message id
    const char* display_name;    // UTF-8, shown in the Language menu
    LanguageAction action;       // switch_language
};

constexpr int LANGUAGE_COUNT = 11;
constexpr int LANGUAGE_ENGLISH = 0;
constexpr int LANGUAGE_POLISH = 1;
constexpr int LANGUAGE_RUSSIAN = 3;

constexpr int LANGUAGE_CANDIDATE_SIZE = 100;  // the language request being examined
constexpr int PROGRAM_PATH_SIZE = 4096;

// The eleven languages in menu order, then a record whose code is null.
extern const LanguageRecord languages[LANGUAGE_COUNT + 1];

// The current language: its index in `languages` (0 = English) and its text table.
// English until select_language chooses.
int current_language_index();
const char* const* current_language_table();

// Makes languages[index] the current language; an index outside the list gives
// English. select_language uses it; tests may too.
void set_current_language(int index);

// The index of the record whose code equals `code` exactly (case-sensitive), or -1.
int find_language(const char* code);

// The argument after the first "--lang" among argv[1] .. argv[argc - 2], or null.
// A "--lang" in the last position is not a request.
const char* requested_language(int argc, const char* const* argv);

// The program path recorded by select_language: the running executable
// (platform::program_path of argv[0]); "" before select_language.
const char* program_path();

// Start-up selection (once, after load_settings and before the toolkit starts):
// records the program path, then takes the "--lang" request, else the stored
// settings.language_code, else the system language; stores the candidate (cut to
// 19 characters) in settings.language_code, saves the settings when it came from
// "--lang", and selects the language whose code equals the candidate up to its first
// "_". Anything unmatched, or no system language at all, selects English.
void select_language(int argc, const char* const* argv);

// The Language menu's action: nothing when `code` is the current language's code (or
// null), otherwise restart_program(code), which does not return.
void switch_language(const char* code);

// Builds the new copy's command: `program`, then "--lang" and `code` when a code is
// given (none: `code` null). False when the program path does not fit.
bool build_restart_command(const char* program, const char* code, platform::ProcessCommand* out);

// Replaces the running copy by a new one started from program_path(), with
// "--lang" `code` when a code is given. Ends with exit code 0 when that fails.
[[noreturn]] void restart_program(const char* code);
