// Themes without the toolkit: where the theme folder is, which names it offers, and
// the resource file that makes the toolkit use the chosen one at the next start.
#pragma once

#include <cstddef>

// The resource file in the user's profile folder that the toolkit reads at start-up.
constexpr const char* THEME_FILE_NAME = ".qvgrc-2.0";

// The theme folder of a program installed as <prefix>/<folder>/<program>: the path
// up to, not including, its second-last '/', followed by "/share/themes/". So
// /usr/bin/qv450 gives /usr/share/themes/. False, with `out` emptied, when the path
// has fewer than two '/' or the result does not fit `size` bytes.
bool theme_folder_for_program(const char* program, char* out, size_t size);

constexpr int THEME_LIST_CAPACITY = 500;
constexpr int THEME_NAME_SIZE = 100;  // 99 characters and the terminator

// Theme names in byte-wise ascending order (strcmp: upper case before lower case).
struct ThemeList {
    int count = 0;
    char names[THEME_LIST_CAPACITY][THEME_NAME_SIZE];
};

// Whether a folder entry is offered as a theme: not hidden (no leading '.'), at most
// 99 bytes of valid UTF-8 (the menu shows it), and nothing that would break the
// resource file's quoted text (a double quote, a backslash or a control character).
bool is_theme_name(const char* name);

// Adds a name in its sorted place. When the list is full it keeps the
// THEME_LIST_CAPACITY smallest names, so the menu does not depend on the order the
// folder lists its entries in. Names that are not theme names are ignored.
void add_theme_name(ThemeList& list, const char* name);

// Lists the folder's theme names, files and folders alike. False when the folder
// cannot be opened (the list is then empty).
bool list_theme_names(const char* folder, ThemeList& list);

// The resource file's text for a theme: three lines, each ended by a single line
// feed:  gtk-theme-name = "<name>", then gtk-cursor-theme-name and
// gtk-icon-theme-name with the same name. Returns the length, or -1 when it does not
// fit `size` bytes with the terminator.
int format_theme_file(const char* name, char* out, size_t size);

// Replaces THEME_FILE_NAME in the profile folder with the file for `name`, whole or
// not at all. False when there is no profile folder or the write failed.
bool write_theme_file(const char* name);
