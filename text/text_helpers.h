// String and hexadecimal helpers of the widget kit; no GTK here, so the logic that
// uses them can be tested without a display.
#pragma once

#include <cstddef>
#include <cstdint>

// Sets `count` bytes at `bytes` to 0.
void zero_fill(void* bytes, size_t count);

// Copies `source` with its terminator to `destination` and returns where the
// terminator landed, so texts can be appended one after another.
char* copy_string_end(char* destination, const char* source);

// 0..9 for '0'..'9', 10..15 for 'A'..'F' and 'a'..'f', -1 for anything else.
int hex_digit_value(char character);

// Reads hexadecimal digit pairs (high nibble first) from `text` into `destination`,
// at most `maximum` bytes. Returns the number of bytes stored: a trailing single
// digit is ignored and digits past 2 * maximum are not looked at. Returns -1 at the
// first character that is not a hexadecimal digit (spaces included); the bytes
// stored before it stay stored.
int parse_hex_bytes(uint8_t* destination, const char* text, int maximum);

// The decimal value of a text as the C library's atoi reads it: leading white space
// and one sign allowed, stops at the first non-digit, 0 when there are no digits.
// Values beyond the int range saturate instead of overflowing.
int decimal_text_value(const char* text);
