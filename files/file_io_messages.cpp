// The whole-file helpers that tell the user when a file cannot be read or written.
#include "files/file_io.h"

#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "ui/dialogs.h"

namespace {

void show_file_message(int id, const char* path) {
    gchar* text = g_strdup_printf(message_text(id), path);
    show_message(text);
    g_free(text);
}

}  // namespace

int read_whole_file(void* buffer, const char* path, int maximum) {
    const int count = read_file_bytes(buffer, path, maximum);
    if (count != FILE_NOT_OPENED) return count;
    report_file_not_opened(path);
    return 0;
}

void report_file_not_opened(const char* path) { show_file_message(MSG_ERROR_OPENING_FILE, path); }

bool write_whole_file(const void* buffer, const char* path, int count) {
    if (write_file_bytes(buffer, path, count)) return true;
    show_file_message(MSG_ERROR_WRITING_FILE, path);
    return false;
}
