// Setting a serial speed that termios cannot name.
#pragma once

namespace platform {

// Sets input and output speed to `baud` bits per second; false when refused.
bool set_custom_serial_speed(int fd, int baud);

}  // namespace platform
