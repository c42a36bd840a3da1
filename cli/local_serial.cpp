// Moving bytes between a stream and the module's serial port through the serial layer.
#include "cli/local_serial.h"

#include <poll.h>
#include <unistd.h>

#include "cli/exit_status.h"
#include "serial/comport.h"
#include "serial/module_serial_port.h"

namespace {
constexpr int LOOK_MS = 20;
}

int pass_local_serial(int input_fd, FILE* out, int quiet_ms, std::string* error) {
    open_module_serial_port();
    if (!module_serial_port.open) {
        *error = "no module serial port found";
        return EXIT_NO_MODULE;
    }
    const int port = module_serial_port.index;
    bool input_open = true;
    int quiet = 0;
    bool ok = true;
    unsigned char buffer[4096];
    while (ok && (input_open || quiet < quiet_ms)) {
        pollfd fd = {input_open ? input_fd : -1, POLLIN, 0};
        poll(&fd, 1, LOOK_MS);
        if (fd.revents) {
            const ssize_t n = read(input_fd, buffer, sizeof buffer);
            if (n <= 0) input_open = false;
            else if (comport_write(port, buffer, int(n)) != int(n)) ok = false;
        }
        const int received = comport_read(port, buffer, sizeof buffer);
        if (received > 0) {
            std::fwrite(buffer, 1, size_t(received), out);
            std::fflush(out);
            quiet = 0;
        } else if (!input_open) {
            quiet += LOOK_MS;
        }
    }
    close_module_serial_port();
    if (!ok) *error = "write to the module serial port failed";
    return ok ? EXIT_DONE : EXIT_TRANSFER;
}
