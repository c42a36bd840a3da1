// Finding the tty nodes of a USB serial device in sysfs.
#pragma once

#include <cstddef>

namespace platform {

// Writes into `names` (`max` entries of `name_size` bytes each) the tty nodes
// ("ttyACM0", "ttyUSB3") of the USB devices with this vendor and product id found
// under `sysfs_root` (normally "/sys"): in bus/usb/devices, each device's idVendor
// and idProduct, and the tty nodes of its interfaces (INTERFACE/tty/ttyACM0 for
// modems, INTERFACE/ttyUSB0 for USB serial converters). Sorted by the device's sysfs
// name, then by the node's name; names that do not fit are skipped. Gives the count.
int find_usb_serial_ttys(const char* sysfs_root, unsigned vendor, unsigned product, char* names,
                         size_t name_size, int max);

}  // namespace platform
