// The serial port layer: ports by index, opened with a baud rate and a mode text
// such as "8N1", read without waiting, written with a time limit.
//
// Port index i (0 to 255) names a device in the port name table: indexes 0 to 127
// are /dev/ttyACM0 to /dev/ttyACM127 (USB modem-class devices), indexes 128 to 255
// are /dev/ttyUSB0 to /dev/ttyUSB127 (USB serial converters).
#pragma once

constexpr int COMPORT_COUNT = 256;
constexpr int COMPORT_WRITE_LIMIT_MS = 300;

// Opens port `index` at `baud` (110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400,
// 57600, 115200, 128000, 256000, 500000 or 1000000) with `mode`: data bits "5" to
// "8", parity N, E or O (either case), stop bits "1" or "2"; raw, DTR and RTS on,
// reads that return at once. Gives 0 on success; 1 on failure, after writing what
// went wrong to standard output.
int comport_open(int index, int baud, const char* mode);

// Reads what has arrived, up to `size` bytes, without waiting: the count, 0 when
// nothing has arrived, the port is not open or the read fails.
int comport_read(int index, unsigned char* buffer, int size);

// Writes `size` bytes, waiting at most COMPORT_WRITE_LIMIT_MS for the driver: the
// count written, or -1 when the write fails or the port is not open.
int comport_write(int index, const unsigned char* buffer, int size);

// Closes the port; nothing when it is not open.
void comport_close(int index);

// The device path of a port index, or nullptr outside 0 to 255.
const char* comport_device_name(int index);

// The port index whose device has this tty node name ("ttyACM3" is 3, "ttyUSB0" is
// 128), or -1 when no index names it.
int comport_index_of_tty(const char* tty_name);

// Tests and the simulated module point the table at another folder (the device
// names keep their form); nullptr goes back to /dev.
void set_comport_device_folder(const char* folder);

// A stand-in device (the simulated module) moves its bytes when this is called: before
// every comport_read and after every comport_write. nullptr removes it.
void set_comport_service_hook(void (*service)());
