// The configuration file's keys, line reading, integers and text.
#include "config/config_file_format.h"

#include <cstdio>
#include <cstring>

#include "ui/text_helpers.h"

namespace {

// Bytes of the well-formed UTF-8 sequence at `p` (at most `left` bytes there), or 0
// when the bytes there do not form one.
int utf8_sequence_length(const unsigned char* p, int left) {
    const unsigned char c = p[0];
    int length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) length = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;   // no overlong forms
        if (c == 0xED) high = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (left < length) return 0;
    if (p[1] < low || p[1] > high) return 0;
    for (int i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    }
    return length;
}

}  // namespace

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

ConfigLineReader::ConfigLineReader(const char* bytes, int count)
    : bytes_(bytes), count_(bytes && count > 0 ? count : 0) {}

bool ConfigLineReader::next(ConfigLine* out) {
    while (offset_ < count_) {
        // Gather the line's first CONFIG_LINE_MAX characters without CRs; skip the rest.
        char text[CONFIG_LINE_MAX];
        int length = 0;
        while (offset_ < count_ && bytes_[offset_] != '\n') {
            const char c = bytes_[offset_++];
            if (c != '\r' && length < CONFIG_LINE_MAX) text[length++] = c;
        }
        if (offset_ < count_) ++offset_;  // the LF
        const char* equals = static_cast<const char*>(std::memchr(text, '=', size_t(length)));
        if (!equals) continue;
        out->key_length = int(equals - text);
        std::memcpy(out->key, text, size_t(out->key_length));
        out->key[out->key_length] = '\0';
        const auto* value = reinterpret_cast<const unsigned char*>(equals + 1);
        const int value_left = length - out->key_length - 1;
        int kept = 0;
        while (kept < value_left && value[kept] != 0) {
            const int sequence = utf8_sequence_length(value + kept, value_left - kept);
            if (sequence == 0) break;
            kept += sequence;
        }
        std::memcpy(out->value, value, size_t(kept));
        out->value[kept] = '\0';
        return true;
    }
    return false;
}

int config_integer_value(const char* text) { return text ? decimal_text_value(text) : 0; }

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
