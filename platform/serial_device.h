// Serial devices on termios: opening, line settings, reads that never wait and writes
// with a time limit.
#pragma once

#include <termios.h>

#include <cstddef>

namespace platform {

// Line settings. `parity` is 'n', 'e' or 'o'.
struct SerialLine {
    int baud = 115200;
    int data_bits = 8;
    char parity = 'n';
    int stop_bits = 1;
    bool dtr = true;
    bool rts = true;
};

// Opens an existing serial device for reading and writing, non-blocking, without
// making it the controlling terminal, and claims it exclusively (TIOCEXCL, so that
// other programs' opens fail while it is held). Gives the descriptor or -1.
int serial_open(const char* path);

// Settings built by serial_prepare for serial_apply.
struct SerialSettings {
    termios tio{};
    int custom_baud = 0;  // a speed without a B constant, set through termios2
    bool dtr = true;
    bool rts = true;
};

// Builds the device's settings from its current ones: raw mode, the line's speed,
// data bits, parity and stop bits, receiver on, modem status ignored. False when
// the device has no settings to read or a field is out of range.
bool serial_prepare(int fd, const SerialLine& line, SerialSettings* settings);

// Makes the settings current and raises DTR and RTS as they ask. Devices without
// modem lines (pseudo-terminals) take the settings without them. False when the
// device refuses the settings.
bool serial_apply(int fd, const SerialSettings& settings);

// Reads return at once with what has arrived (no minimum count, no inter-byte wait).
bool serial_set_immediate_reads(int fd);

// Reads what is waiting, up to `size` bytes, without waiting: the count, 0 when
// nothing has arrived, -1 on failure.
int serial_read(int fd, void* buffer, size_t size);

// Writes `size` bytes, waiting for the driver at most `limit_ms` in all: the count
// written (fewer when the limit ran out), -1 on failure before anything was written.
int serial_write(int fd, const void* data, size_t size, int limit_ms);

void serial_close(int fd);

}  // namespace platform
