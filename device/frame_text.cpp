// Frame text encoding and decoding.
#include "device/frame_text.h"

namespace {

const char HEX_DIGITS[] = "0123456789ABCDEF";

// Only upper-case digits are valid in received frames.
int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char* put_hex(char* p, uint8_t b) {
    *p++ = HEX_DIGITS[b >> 4];
    *p++ = HEX_DIGITS[b & 0x0F];
    return p;
}

}  // namespace

uint8_t frame_checksum(uint8_t length_byte, uint8_t command, const uint8_t* data, int n) {
    unsigned sum = length_byte + 0x55u + command + 0x55u;
    for (int i = 0; i < n; ++i) sum += data[i] + 0x55u;
    return uint8_t(sum);
}

int build_frame_text(uint8_t command, const uint8_t* data, int n, char* out) {
    const uint8_t length_byte = uint8_t(n + 1);
    char* p = out;
    *p++ = '!';
    p = put_hex(p, length_byte);
    p = put_hex(p, command);
    for (int i = 0; i < n; ++i) p = put_hex(p, data[i]);
    p = put_hex(p, frame_checksum(length_byte, command, data, n));
    *p++ = '#';
    *p = '\0';
    return int(p - out);
}

uint8_t frame_chunk_control(int chunk_length, bool first, bool last) {
    return uint8_t(2 * chunk_length + (first ? 1 : 0) + (last ? 0xC0 : 0));
}

int frame_chunk_length(int remaining) { return remaining >= 8 ? 7 : remaining; }

bool parse_frame_text(const char* text, int fill, uint8_t* out, int out_capacity, int* decoded,
                      int* consumed) {
    if (fill < 1 || text[0] != '!') return false;
    int pos = 1;
    int count = 0;
    unsigned sum = 0;
    uint8_t last = 0;
    while (pos < fill && text[pos] != '#') {
        if (pos + 1 >= fill) return false;  // half a byte at the end
        const int high = digit_value(text[pos]);
        const int low = digit_value(text[pos + 1]);
        if (high < 0 || low < 0 || count >= out_capacity) return false;
        last = uint8_t(high * 16 + low);
        out[count++] = last;
        sum += last + 0x55u;
        pos += 2;
    }
    if (count == 0) return false;
    // The last byte is the checksum; it is not part of its own sum.
    sum -= last + 0x55u;
    if (uint8_t(sum) != last) return false;
    if (count != out[0] + 2) return false;
    *decoded = count;
    *consumed = pos < fill ? pos + 1 : pos;
    return true;
}
