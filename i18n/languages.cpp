// Language selection at start-up, the message lookup, the language switch and the
// restart.
#include "i18n/languages.h"

#include "platform/locale.h"
#include "platform/process.h"
#include "platform/program_path.h"
#include "settings/settings.h"

#include <cstring>

namespace {

int current_index = LANGUAGE_ENGLISH;
char recorded_program_path[PROGRAM_PATH_SIZE] = "";

// Copies `source` into `dest` of `size` bytes, cut to fit and always terminated.
void copy_cut(char* dest, size_t size, const char* source) {
    const size_t length = strlen(source);
    const size_t copied = length < size - 1 ? length : size - 1;
    memcpy(dest, source, copied);
    dest[copied] = '\0';
}

}  // namespace

const char* message_text(int id) {
    if (id < 0 || id >= MESSAGE_COUNT) return nullptr;
    return current_language_table()[id];
}

int current_language_index() { return current_index; }

const char* const* current_language_table() { return languages[current_index].table; }

void set_current_language(int index) {
    current_index = index >= 0 && index < LANGUAGE_COUNT ? index : LANGUAGE_ENGLISH;
}

int find_language(const char* code) {
    if (!code) return -1;
    for (int i = 0; languages[i].code; ++i)
        if (strcmp(languages[i].code, code) == 0) return i;
    return -1;
}

const char* requested_language(int argc, const char* const* argv) {
    if (!argv) return nullptr;
    for (int i = 1; i < argc - 1; ++i)
        if (argv[i] && strcmp(argv[i], "--lang") == 0) return argv[i + 1] ? argv[i + 1] : "";
    return nullptr;
}

const char* program_path() { return recorded_program_path; }

void select_language(int argc, const char* const* argv) {
    // 1. The program path.
    platform::program_path(argc > 0 && argv ? argv[0] : nullptr, recorded_program_path,
                           sizeof recorded_program_path);

    // 2-3. The candidate: "--lang", else the stored code, else the system language.
    char candidate[LANGUAGE_CANDIDATE_SIZE];
    const char* requested = requested_language(argc, argv);
    if (requested) {
        copy_cut(candidate, sizeof candidate, requested);
    } else if (settings.language_code[0] != '\0') {
        // The stored field may lack its terminator if something wrote it whole.
        const size_t length = strnlen(settings.language_code, sizeof settings.language_code);
        const size_t copied = length < sizeof candidate - 1 ? length : sizeof candidate - 1;
        memcpy(candidate, settings.language_code, copied);
        candidate[copied] = '\0';
    } else if (!platform::user_language(candidate, sizeof candidate)) {
        set_current_language(LANGUAGE_ENGLISH);
        return;
    }

    // 4. English unless the candidate matches.
    set_current_language(LANGUAGE_ENGLISH);

    // 5-6. Store the whole candidate (cut to the field); a request persists at once.
    copy_cut(settings.language_code, sizeof settings.language_code, candidate);
    if (requested) save_settings();

    // 7-8. Compare the code before the first "_" with the list.
    if (char* underscore = strchr(candidate, '_')) *underscore = '\0';
    const int index = find_language(candidate);
    if (index >= 0) set_current_language(index);
}

void switch_language(const char* code) {
    if (!code || strcmp(code, languages[current_index].code) == 0) return;
    restart_program(code);
}

bool build_restart_command(const char* program, const char* code, platform::ProcessCommand* out) {
    const char* arguments[] = {"--lang", code};
    return platform::build_process_command(program, arguments, code ? 2 : 0, out);
}

void restart_program(const char* code) {
    static platform::ProcessCommand command;
    // A path that does not fit leaves the command empty; replace_process then ends the
    // program with exit code 0, as it does when the new copy cannot be started.
    build_restart_command(program_path(), code, &command);
    platform::replace_process(command);
}
