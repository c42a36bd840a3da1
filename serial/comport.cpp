// The port name table, the handle table and the port operations.
#include "serial/comport.h"

#include <cstdio>
#include <cstring>

#include "platform/serial_device.h"
#include "serial/comport_mode.h"

namespace {

constexpr int TTY_KIND_SIZE = 128;  // indexes per device kind
constexpr char default_folder[] = "/dev";

char device_folder[512] = "/dev";
char port_names[COMPORT_COUNT][600];
bool names_built = false;
int handles[COMPORT_COUNT];
bool handles_ready = false;
void (*service_hook)() = nullptr;

void build_port_names() {
    for (int i = 0; i < COMPORT_COUNT; ++i) {
        std::snprintf(port_names[i], sizeof port_names[i], "%s/%s%d", device_folder,
                      i < TTY_KIND_SIZE ? "ttyACM" : "ttyUSB", i % TTY_KIND_SIZE);
    }
    names_built = true;
}

int& handle(int index) {
    if (!handles_ready) {
        for (int& h : handles) h = -1;
        handles_ready = true;
    }
    return handles[index];
}

bool is_open(int index) { return index >= 0 && index < COMPORT_COUNT && handle(index) >= 0; }

int fail(const char* message) {
    std::fputs(message, stdout);
    std::fflush(stdout);
    return 1;
}

}  // namespace

const char* comport_device_name(int index) {
    if (index < 0 || index >= COMPORT_COUNT) return nullptr;
    if (!names_built) build_port_names();
    return port_names[index];
}

int comport_index_of_tty(const char* tty_name) {
    for (int kind = 0; kind < 2; ++kind) {
        const char* prefix = kind == 0 ? "ttyACM" : "ttyUSB";
        if (std::strncmp(tty_name, prefix, 6) != 0) continue;
        const char* digits = tty_name + 6;
        if (!*digits || std::strlen(digits) > 3 || (digits[0] == '0' && digits[1])) return -1;
        int number = 0;
        for (const char* p = digits; *p; ++p) {
            if (*p < '0' || *p > '9') return -1;
            number = number * 10 + (*p - '0');
        }
        return number < TTY_KIND_SIZE ? kind * TTY_KIND_SIZE + number : -1;
    }
    return -1;
}

void set_comport_device_folder(const char* folder) {
    std::snprintf(device_folder, sizeof device_folder, "%s", folder ? folder : default_folder);
    names_built = false;
}

int comport_open(int index, int baud, const char* mode) {
    char message[64];
    if (!check_comport_arguments(index, baud, mode, message, sizeof message)) return fail(message);

    char control[80];
    build_device_control_text(baud, mode, control, sizeof control);
    const int fd = platform::serial_open(comport_device_name(index));
    if (fd < 0) return fail("unable to open comport\n");

    platform::SerialLine line;
    platform::SerialSettings settings;
    const char* fault = nullptr;
    if (!parse_device_control_text(control, &line) || !platform::serial_prepare(fd, line, &settings)) {
        fault = "unable to set comport dcb settings\n";
    } else if (!platform::serial_apply(fd, settings)) {
        fault = "unable to set comport cfg settings\n";
    } else if (!platform::serial_set_immediate_reads(fd)) {
        fault = "unable to set comport time-out settings\n";
    }
    if (fault) {
        platform::serial_close(fd);
        return fail(fault);
    }
    // Reopening an index that is open replaces its handle without leaking it.
    if (is_open(index)) platform::serial_close(handle(index));
    handle(index) = fd;
    return 0;
}

int comport_read(int index, unsigned char* buffer, int size) {
    if (!is_open(index) || !buffer || size <= 0) return 0;
    if (service_hook) service_hook();
    const int n = platform::serial_read(handle(index), buffer, size_t(size));
    return n > 0 ? n : 0;
}

int comport_write(int index, const unsigned char* buffer, int size) {
    if (!is_open(index) || !buffer || size < 0) return -1;
    const int written = platform::serial_write(handle(index), buffer, size_t(size), COMPORT_WRITE_LIMIT_MS);
    if (service_hook) service_hook();
    return written;
}

void set_comport_service_hook(void (*service)()) { service_hook = service; }

void comport_close(int index) {
    if (!is_open(index)) return;
    platform::serial_close(handle(index));
    handle(index) = -1;
}
