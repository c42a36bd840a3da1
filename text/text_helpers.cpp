// String and hexadecimal helpers; no GTK, so that every room may use them.
#include "text/text_helpers.h"

#include <climits>
#include <cstring>

void zero_fill(void* bytes, size_t count) {
    if (count) std::memset(bytes, 0, count);
}

char* copy_string_end(char* destination, const char* source) {
    while ((*destination = *source) != '\0') {
        ++destination;
        ++source;
    }
    return destination;
}

int hex_digit_value(char character) {
    const unsigned char c = static_cast<unsigned char>(character);
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int parse_hex_bytes(uint8_t* destination, const char* text, int maximum) {
    int stored = 0;
    int high = -1;  // the first digit of a pair, while the second is awaited
    for (long budget = 2L * maximum; budget > 0 && *text != '\0'; --budget, ++text) {
        const int digit = hex_digit_value(*text);
        if (digit < 0) return -1;
        if (high < 0) {
            high = digit;
        } else {
            destination[stored++] = static_cast<uint8_t>(high << 4 | digit);
            high = -1;
        }
    }
    return stored;
}

int decimal_text_value(const char* text) {
    // The C library's white space: space, \t, \n, \v, \f, \r.
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (value <= LLONG_MAX / 100) value = value * 10 + (*text - '0');
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}
