// Speeds that termios has no B constant for, through the kernel's termios2 (a
// translation unit of its own: its header clashes with <termios.h>).
#include "platform/serial_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace platform {

bool set_custom_serial_speed(int fd, int baud) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~CBAUD;
    tio.c_cflag |= BOTHER;
    tio.c_ispeed = unsigned(baud);
    tio.c_ospeed = unsigned(baud);
    return ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace platform
