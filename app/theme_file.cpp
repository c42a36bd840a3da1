// The theme folder, its listing and the theme resource file.
#include "app/theme_file.h"

#include <dirent.h>
#include <glib.h>

#include <cstdio>
#include <cstring>

#include "files/file_io.h"
#include "platform/profile.h"
#include "platform/program_path.h"

bool theme_folder_for_program(const char* program, char* out, size_t size) {
    return platform::installation_folder(program, "share/themes/", out, size);
}

bool is_theme_name(const char* name) {
    if (!name || name[0] == '\0' || name[0] == '.') return false;
    size_t length = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        if (*p < 0x20 || *p == 0x7F || *p == '"' || *p == '\\') return false;
        if (++length >= size_t(THEME_NAME_SIZE)) return false;
    }
    // The menu shows the name as UTF-8 text.
    return g_utf8_validate(name, -1, nullptr) != FALSE;
}

void add_theme_name(ThemeList& list, const char* name) {
    if (!is_theme_name(name)) return;
    // First place whose name sorts after the new one (equal names keep their order).
    int place = list.count;
    for (int i = 0; i < list.count; ++i) {
        if (std::strcmp(name, list.names[i]) < 0) {
            place = i;
            break;
        }
    }
    if (place >= THEME_LIST_CAPACITY) return;
    const int kept = list.count < THEME_LIST_CAPACITY ? list.count : THEME_LIST_CAPACITY - 1;
    std::memmove(list.names[place + 1], list.names[place],
                 size_t(kept - place) * sizeof list.names[0]);
    std::strcpy(list.names[place], name);  // fits: is_theme_name checked the length
    list.count = kept + 1;
}

bool list_theme_names(const char* folder, ThemeList& list) {
    list.count = 0;
    DIR* dir = folder ? opendir(folder) : nullptr;
    if (!dir) return false;
    while (const dirent* entry = readdir(dir)) add_theme_name(list, entry->d_name);
    closedir(dir);
    return true;
}

int format_theme_file(const char* name, char* out, size_t size) {
    if (!out || size == 0 || !name) return -1;
    const int length = std::snprintf(out, size,
                                     "gtk-theme-name = \"%s\"\n"
                                     "gtk-cursor-theme-name = \"%s\"\n"
                                     "gtk-icon-theme-name = \"%s\"\n",
                                     name, name, name);
    if (length < 0 || size_t(length) >= size) {
        out[0] = '\0';
        return -1;
    }
    return length;
}

bool write_theme_file(const char* name) {
    char text[512];
    const int length = format_theme_file(name, text, sizeof text);
    if (length < 0) return false;
    char path[4096];
    if (!platform::profile_file_path(THEME_FILE_NAME, path, sizeof path)) return false;
    return write_file_bytes(text, path, length);
}
