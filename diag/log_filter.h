// The log filter: which lines of the event log the console's view shows. The log
// text and the log file always keep every line. No GTK here.
#pragma once

#include <cstdint>

#include "settings/settings.h"

// Tagged lines have "*" and a space as the second and third characters of their
// message (line positions 23 and 24); the tag runs from position 25 up to the first
// space, CR, LF or end of text, at most FILTER_TAG_CHARS characters.
constexpr int TAG_MARK_POSITION = 23;
constexpr int TAG_POSITION = 25;
constexpr int FILTER_TAG_CHARS = FILTER_TAG_SIZE - 1;

// The filter's state belongs to the program, not to the console window; only the tag
// texts (settings.filter_tags) are saved.
struct LogFilter {
    bool filter_active = false;
    uint32_t filter_mask = 0;  // bit i: tag slot i is ticked
    bool show_untagged = false;
};

extern LogFilter log_filter;

// Whether the view shows the line starting at `line` (a line of the log text, ending
// at its LF or at the end of the text). Off: every line. Untagged lines: when
// show_untagged is on. Tagged lines: when a ticked slot is empty or equals the tag
// exactly.
bool line_accepted(const char* line);

// Copies the accepted lines of text[0..count-1] (each with its LF) to `out`, which
// must hold count + 1 bytes, and zero-terminates it. Returns the bytes copied.
int filter_lines(const char* text, int count, char* out);

// Stores a tag text into slot i, cut to FILTER_TAG_CHARS bytes without splitting a
// UTF-8 character.
void set_filter_tag(int slot, const char* text);

// How the view's text `shown` becomes `wanted` with the least rework, when the end of
// `shown` appears in `wanted` (the usual case after the oldest log text was cut):
// drop shown[0, drop_front), put wanted[0, insert_front) in front, and append
// wanted[append_from, wanted_count). `replace_all` when they share no such stretch.
struct ViewEdit {
    bool replace_all = true;
    int drop_front = 0;
    int insert_front = 0;
    int append_from = 0;
};
ViewEdit plan_view_edit(const char* shown, int shown_count, const char* wanted, int wanted_count);
