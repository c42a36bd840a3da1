// The configuration file's keys, line reading, integers and text.
#include "config/config_file_format.h"

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "text/text_helpers.h"

int config_keys(bool advanced, ConfigKey* out) {
    int n = 0;
    out[n++] = {"carnumber", KEY_CARNUMBER, -1};
    out[n++] = {"canlevel", KEY_CANLEVEL, -1};
    struct Suffix {
        const char* text;
        ConfigKeyKind kind;
        bool advanced_only;
    };
    static const Suffix suffixes[] = {{"_signal", KEY_SIGNAL, false},
                                      {"_inv", KEY_INV, true},
                                      {"_iotype", KEY_IOTYPE, false},
                                      {"_trigger", KEY_TRIGGER, true}};
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        for (const Suffix& suffix : suffixes) {
            if (suffix.advanced_only && !advanced) continue;
            ConfigKey& record = out[n++];
            std::snprintf(record.key, sizeof record.key, "%s%s", PinMap[pin].key, suffix.text);
            record.kind = suffix.kind;
            record.pin = pin;
        }
    }
    return n;
}

bool config_key_matches(const ConfigKey& record, const char* key, int key_length) {
    return key_length >= 0 && size_t(key_length) == std::strlen(record.key) &&
           std::memcmp(record.key, key, size_t(key_length)) == 0;
}

ConfigLineReader::ConfigLineReader(const char* bytes, int count, std::vector<int>* without_equals)
    : bytes_(bytes), count_(bytes && count > 0 ? count : 0), without_equals_(without_equals) {}

bool ConfigLineReader::next(ConfigLine* out) {
    while (offset_ < count_) {
        ++line_;
        // Gather the line's first CONFIG_LINE_MAX characters without CRs; skip the rest.
        char text[CONFIG_LINE_MAX];
        int length = 0;
        while (offset_ < count_ && bytes_[offset_] != '\n') {
            const char c = bytes_[offset_++];
            if (c != '\r' && length < CONFIG_LINE_MAX) text[length++] = c;
        }
        if (offset_ < count_) ++offset_;  // the LF
        const char* equals = static_cast<const char*>(std::memchr(text, '=', size_t(length)));
        if (!equals) {
            const bool blank = std::all_of(text, text + length, [](char c) { return c == ' ' || c == '\t'; });
            if (without_equals_ && !blank) without_equals_->push_back(line_);
            continue;
        }
        out->number = line_;
        out->key_length = int(equals - text);
        std::memcpy(out->key, text, size_t(out->key_length));
        out->key[out->key_length] = '\0';
        // The value ends at a zero byte or malformed UTF-8: what is kept is valid text.
        const char* value = equals + 1;
        const char* valid_end = value;
        g_utf8_validate(value, length - out->key_length - 1, &valid_end);
        const size_t kept = size_t(valid_end - value);
        std::memcpy(out->value, value, kept);
        out->value[kept] = '\0';
        return true;
    }
    return false;
}

int config_integer_value(const char* text) { return text ? decimal_text_value(text) : 0; }

bool config_value_is_number(const char* text) {
    if (!text) return false;
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    if (*text == '+' || *text == '-') ++text;
    return *text >= '0' && *text <= '9';
}

int format_config_text(const ConfigKey* keys, const int* values, int count, char* out, int size) {
    if (!out || size <= 0) return -1;
    const int room = size - 1 < CONFIG_FILE_MAX ? size - 1 : CONFIG_FILE_MAX;
    int length = 0;
    out[0] = '\0';
    for (int i = 0; i < count; ++i) {
        const int left = room - length;
        // snprintf needs a byte for its terminator beyond what it may write.
        const int written = std::snprintf(out + length, size_t(left) + 1, "%s=%d\r\n",
                                          keys[i].key, values[i]);
        if (written < 0 || written > left) {
            out[0] = '\0';
            return -1;
        }
        length += written;
    }
    return length;
}

std::string config_file_name(const char* chosen) {
    std::string name = chosen ? chosen : "";
    const size_t n = name.size();
    if (n >= 4 && (name.compare(n - 4, 4, ".cfg") == 0 || name.compare(n - 4, 4, ".CFG") == 0)) {
        return name;
    }
    return name + ".cfg";
}
