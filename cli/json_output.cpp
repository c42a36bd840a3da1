// Writing the tool's answers as JSON.
#include "cli/json_output.h"

#include <cstdio>

#include "firmware/firmware_files.h"

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte > 0x7E) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(byte));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string identity_json(const DeviceIdentity& identity, const std::string& status) {
    char firmware[16];
    std::snprintf(firmware, sizeof firmware, "%d.%02d", identity.firmware_version >> 8 & 0xFF,
                  identity.firmware_version & 0xFF);
    const bool has_variant = identity.variant_letter > ' ' && identity.variant_letter <= '~';
    return "{\"model\":" + std::to_string(identity.model) + ",\"firmware\":" + json_string(firmware) +
           ",\"firmware_number\":" + std::to_string(firmware_number(identity.firmware_version)) +
           ",\"variant\":" + (has_variant ? json_string(std::string(1, char(identity.variant_letter))) : "null") +
           ",\"status\":" + json_string(status) + "}";
}

std::string configuration_json(const ConfigKey* keys, const int* values, int count) {
    std::string out = "{";
    for (int i = 0; i < count; ++i) {
        if (i) out += ',';
        out += json_string(keys[i].key) + ':' + std::to_string(values[i]);
    }
    return out + "}";
}
