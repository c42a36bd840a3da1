// The simulated serial port's echo.
#include "sim/sim_serial_echo.h"

#include <unistd.h>

void echo_serial_bytes(int fd) {
    unsigned char bytes[4096];
    ssize_t n;
    while ((n = read(fd, bytes, sizeof bytes)) > 0) {
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = write(fd, bytes + done, size_t(n - done));
            if (w <= 0) return;
            done += w;
        }
    }
}
