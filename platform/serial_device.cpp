// Serial devices on termios.
#include "platform/serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/clock.h"
#include "platform/serial_speed.h"

namespace platform {
namespace {

struct SpeedCode {
    int baud;
    speed_t code;
};
constexpr SpeedCode speed_codes[] = {
    {110, B110},       {300, B300},         {600, B600},       {1200, B1200},   {2400, B2400},
    {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400}, {57600, B57600},
    {115200, B115200}, {230400, B230400},   {500000, B500000}, {1000000, B1000000},
};

}  // namespace

int serial_open(const char* path) {
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (!isatty(fd)) {
        close(fd);
        return -1;
    }
    // Another holder's exclusive claim makes the open above fail with EBUSY; ours
    // keeps others out (root is not kept out by the kernel).
    ioctl(fd, TIOCEXCL);
    return fd;
}

bool serial_prepare(int fd, const SerialLine& line, SerialSettings* settings) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    switch (line.data_bits) {
        case 5: tio.c_cflag |= CS5; break;
        case 6: tio.c_cflag |= CS6; break;
        case 7: tio.c_cflag |= CS7; break;
        case 8: tio.c_cflag |= CS8; break;
        default: return false;
    }
    if (line.parity == 'e') tio.c_cflag |= PARENB;
    else if (line.parity == 'o') tio.c_cflag |= PARENB | PARODD;
    else if (line.parity != 'n') return false;
    if (line.stop_bits == 2) tio.c_cflag |= CSTOPB;
    else if (line.stop_bits != 1) return false;
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_iflag |= IGNPAR;

    bool named = false;
    for (const SpeedCode& s : speed_codes) {
        if (s.baud == line.baud) {
            cfsetispeed(&tio, s.code);
            cfsetospeed(&tio, s.code);
            named = true;
        }
    }
    if (!named && line.baud <= 0) return false;
    settings->custom_baud = named ? 0 : line.baud;
    settings->tio = tio;
    settings->dtr = line.dtr;
    settings->rts = line.rts;
    return true;
}

bool serial_apply(int fd, const SerialSettings& settings) {
    if (tcsetattr(fd, TCSANOW, &settings.tio) != 0) return false;
    if (settings.custom_baud > 0 && !set_custom_serial_speed(fd, settings.custom_baud)) return false;
    int raise = 0, lower = 0;
    (settings.dtr ? raise : lower) |= TIOCM_DTR;
    (settings.rts ? raise : lower) |= TIOCM_RTS;
    // Pseudo-terminals have no modem lines and refuse these; that is no fault here.
    if (raise) ioctl(fd, TIOCMBIS, &raise);
    if (lower) ioctl(fd, TIOCMBIC, &lower);
    return true;
}

bool serial_set_immediate_reads(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return false;
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

int serial_read(int fd, void* buffer, size_t size) {
    for (;;) {
        const ssize_t n = read(fd, buffer, size);
        if (n >= 0) return int(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

int serial_write(int fd, const void* data, size_t size, int limit_ms) {
    const char* bytes = static_cast<const char*>(data);
    const int64_t deadline = real_time_ms() + limit_ms;
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, bytes + written, size - written);
        if (n > 0) {
            written += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return written ? int(written) : -1;
        const int64_t left = deadline - real_time_ms();
        if (left <= 0) break;
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, int(left)) < 0 && errno != EINTR) break;
    }
    return int(written);
}

void serial_close(int fd) {
    if (fd >= 0) close(fd);
}

}  // namespace platform
