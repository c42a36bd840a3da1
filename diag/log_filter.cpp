// The log filter: tagged lines, the tag comparison and the filtered copy of the log.
#include "diag/log_filter.h"

#include <cstring>
#include <string_view>

LogFilter log_filter;

namespace {

bool ends_line(char c) { return c == '\0' || c == '\n'; }

bool ends_tag(char c) { return c == '\0' || c == ' ' || c == '\r' || c == '\n'; }

// The line's tag in `tag` (FILTER_TAG_SIZE bytes); false for an untagged line.
bool line_tag(const char* line, char* tag) {
    for (int i = 0; i < TAG_POSITION; ++i)
        if (ends_line(line[i])) return false;
    if (line[TAG_MARK_POSITION] != '*' || line[TAG_MARK_POSITION + 1] != ' ') return false;
    int n = 0;
    while (n < FILTER_TAG_CHARS && !ends_tag(line[TAG_POSITION + n])) {
        tag[n] = line[TAG_POSITION + n];
        ++n;
    }
    tag[n] = '\0';
    return true;
}

}  // namespace

bool line_accepted(const char* line) {
    if (!log_filter.filter_active) return true;
    char tag[FILTER_TAG_SIZE];
    if (!line_tag(line, tag)) return log_filter.show_untagged;
    for (int i = 0; i < FILTER_TAG_COUNT; ++i) {
        if (!(log_filter.filter_mask & (1u << i))) continue;
        const char* slot = settings.filter_tags[i];
        if (!*slot || std::strcmp(slot, tag) == 0) return true;
    }
    return false;
}

int filter_lines(const char* text, int count, char* out) {
    int n = 0;
    for (int start = 0; start < count;) {
        const void* lf = std::memchr(text + start, '\n', size_t(count - start));
        const int end = lf ? int(static_cast<const char*>(lf) - text) + 1 : count;
        if (line_accepted(text + start)) {
            std::memcpy(out + n, text + start, size_t(end - start));
            n += end - start;
        }
        start = end;
    }
    out[n] = '\0';
    return n;
}

void set_filter_tag(int slot, const char* text) {
    if (slot < 0 || slot >= FILTER_TAG_COUNT) return;
    size_t n = std::strlen(text);
    if (n > size_t(FILTER_TAG_CHARS)) {
        n = FILTER_TAG_CHARS;
        // Back off continuation bytes so the cut falls between characters.
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(settings.filter_tags[slot], text, n);
    settings.filter_tags[slot][n] = '\0';
}

ViewEdit plan_view_edit(const char* shown, int shown_count, const char* wanted, int wanted_count) {
    constexpr int ANCHOR = 256;
    ViewEdit edit;
    if (shown_count == 0) return edit;
    const int anchor = shown_count < ANCHOR ? shown_count : ANCHOR;
    const std::string_view tail(shown + shown_count - anchor, size_t(anchor));
    const size_t at = std::string_view(wanted, size_t(wanted_count)).rfind(tail);
    if (at == std::string_view::npos) return edit;
    const int end = int(at) + anchor;  // where the shown text ends inside `wanted`
    int same = anchor;
    while (same < shown_count && same < end && shown[shown_count - same - 1] == wanted[end - same - 1]) ++same;
    edit.replace_all = false;
    edit.drop_front = shown_count - same;
    edit.insert_front = end - same;
    edit.append_from = end;
    return edit;
}
