// Argument checks and the device control text of comport_open.
#include "serial/comport_mode.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "serial/comport.h"

namespace {

constexpr int accepted_rates[] = {110,   300,   600,    1200,   2400,   4800,   9600,   19200,
                                  38400, 57600, 115200, 128000, 256000, 500000, 1000000};

// "name=" followed by a value up to the next blank; false when missing or too long.
bool field(const char* text, const char* name, char* value, size_t size) {
    const size_t name_length = std::strlen(name);
    for (const char* p = text; (p = std::strstr(p, name)) != nullptr; p += name_length) {
        if (p != text && p[-1] != ' ') continue;
        p += name_length;
        size_t n = std::strcspn(p, " ");
        if (n == 0 || n >= size) return false;
        std::memcpy(value, p, n);
        value[n] = '\0';
        return true;
    }
    return false;
}

bool decimal(const char* text, int* value) {
    if (!*text || std::strlen(text) > 9) return false;
    int result = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        result = result * 10 + (*p - '0');
    }
    *value = result;
    return true;
}

}  // namespace

bool is_accepted_baud_rate(int baud) {
    for (int rate : accepted_rates)
        if (rate == baud) return true;
    return false;
}

bool check_comport_arguments(int index, int baud, const char* mode, char* message, size_t size) {
    if (index < 0 || index >= COMPORT_COUNT) {
        std::snprintf(message, size, "illegal comport number\n");
    } else if (!is_accepted_baud_rate(baud)) {
        std::snprintf(message, size, "invalid baudrate\n");
    } else if (!mode || std::strlen(mode) != 3) {
        std::snprintf(message, size, "invalid mode \"%s\"\n", mode ? mode : "");
    } else if (mode[0] < '5' || mode[0] > '8') {
        std::snprintf(message, size, "invalid number of data-bits '%c'\n", mode[0]);
    } else if (!std::strchr("NnEeOo", mode[1]) || mode[1] == '\0') {
        std::snprintf(message, size, "invalid parity '%c'\n", mode[1]);
    } else if (mode[2] != '1' && mode[2] != '2') {
        std::snprintf(message, size, "invalid number of stop bits '%c'\n", mode[2]);
    } else {
        return true;
    }
    return false;
}

void build_device_control_text(int baud, const char* mode, char* text, size_t size) {
    std::snprintf(text, size, "baud=%d data=%c parity=%c stop=%c dtr=on rts=on", baud, mode[0],
                  char(std::tolower(static_cast<unsigned char>(mode[1]))), mode[2]);
}

bool parse_device_control_text(const char* text, platform::SerialLine* line) {
    char value[16];
    platform::SerialLine parsed;
    if (!field(text, "baud=", value, sizeof value) || !decimal(value, &parsed.baud)) return false;
    if (!field(text, "data=", value, sizeof value) || !decimal(value, &parsed.data_bits)) return false;
    if (!field(text, "parity=", value, sizeof value) || std::strlen(value) != 1) return false;
    parsed.parity = value[0];
    if (!field(text, "stop=", value, sizeof value) || !decimal(value, &parsed.stop_bits)) return false;
    if (!field(text, "dtr=", value, sizeof value)) return false;
    parsed.dtr = std::strcmp(value, "on") == 0;
    if (!field(text, "rts=", value, sizeof value)) return false;
    parsed.rts = std::strcmp(value, "on") == 0;
    *line = parsed;
    return true;
}
