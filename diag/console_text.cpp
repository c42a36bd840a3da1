// The console's texts: command code, data escapes, history, echo and response line.
#include "diag/console_text.h"

#include <cstdio>
#include <cstring>

#include "text/text_helpers.h"

CommandHistory command_history;

int parse_console_command(const char* text) {
    if (std::strlen(text) < 2) return -1;
    uint8_t code = 0;
    return parse_hex_bytes(&code, text, 1) == 1 ? code : -1;
}

int parse_console_data(const char* text, uint8_t* bytes, int maximum) {
    int n = 0;
    auto put = [&](int value) {
        if (n == maximum) return false;
        bytes[n++] = uint8_t(value);
        return true;
    };
    for (const char* p = text; *p;) {
        if (*p != '\\') {
            if (!put(uint8_t(*p++))) return -1;
            continue;
        }
        if (!p[1]) break;  // the text ends inside the escape
        if (p[1] != 'x' && p[1] != 'X') {
            if (!put(uint8_t(p[1]))) return -1;
            p += 2;
            continue;
        }
        if (!p[2] || !p[3]) break;
        // A bad digit is -1, all bits set, which then fills its nibble and more.
        const int high = hex_digit_value(p[2]);
        const int low = hex_digit_value(p[3]);
        if (!put((high * 16) | low)) return -1;
        p += 4;
    }
    return n;
}

int format_console_echo(const char* command, const char* data, char* out, int size) {
    const int n = std::snprintf(out, size_t(size), "\\x%.2s %s\n", command, data);
    return n < size ? n : size - 1;
}

int format_response_line(const uint8_t* data, int n, char* out) {
    static const char HEX[] = "0123456789ABCDEF";
    int length = 0;
    auto put = [&](char c) {
        if (length < RESPONSE_TEXT_LIMIT) out[length++] = c;
    };
    for (const char* p = "01 - "; *p; ++p) put(*p);
    for (int i = 0; i < n; ++i) {
        put(HEX[data[i] >> 4]);
        put(HEX[data[i] & 0x0F]);
    }
    for (const char* p = " - \""; *p; ++p) put(*p);
    for (int i = 0; i < n; ++i) {
        const char c = char(data[i] & 0x7F);
        put(c < 32 ? '?' : c);
    }
    out[length++] = '"';
    out[length++] = '\n';
    out[length] = '\0';
    return length;
}

namespace {

void store_slot(CommandHistory& history, int slot, const char* command, const char* data) {
    std::snprintf(history.command[slot], sizeof history.command[slot], "%s", command);
    std::snprintf(history.data[slot], sizeof history.data[slot], "%s", data);
}

int wrap(int slot) { return (slot + HISTORY_SLOTS) % HISTORY_SLOTS; }

}  // namespace

void history_remember(CommandHistory& history, const char* command, const char* data) {
    const int last = history.history_index;
    if (std::strncmp(history.command[last], command, HISTORY_COMMAND_CHARS) == 0 &&
        std::strcmp(history.data[last], data) == 0) {
        return;
    }
    history.history_index = wrap(last + 1);
    history.history_browse = history.history_index;
    store_slot(history, history.history_index, command, data);
}

int history_step(CommandHistory& history, const char* command, const char* data, int step) {
    // Empty entries (a console just opened, or cleared by hand) would erase a sent
    // command; there is nothing in them worth keeping.
    if (*command || *data) store_slot(history, history.history_browse, command, data);
    history.history_browse = wrap(history.history_browse + step);
    return history.history_browse;
}
