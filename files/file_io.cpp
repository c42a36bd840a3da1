// The UTF-8 to UTF-16 conversion.
#include "files/file_io.h"

int utf8_to_utf16(uint16_t* destination, const char* source) {
    int units = 0;
    unsigned accumulator = 0;
    int expected = 0;  // continuation bytes still due
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(source); *p; ++p) {
        const unsigned char c = *p;
        if (c < 0x80) {
            destination[units++] = c;
        } else if ((c & 0xE0) == 0xC0) {
            accumulator = c & 0x1Fu;
            expected = 1;
        } else if ((c & 0xF0) == 0xE0) {
            accumulator = c & 0x0Fu;
            expected = 2;
        } else if ((c & 0xC0) == 0x80) {
            accumulator = (accumulator << 6) + (c & 0x3Fu);
            // Without a sequence under way the count would only go below zero and
            // never come back before the next lead byte: stray continuation bytes
            // produce nothing.
            if (expected > 0 && --expected == 0) destination[units++] = uint16_t(accumulator);
        }
        // Lead bytes of four-byte sequences and above are skipped.
    }
    destination[units] = 0;
    return units;
}
