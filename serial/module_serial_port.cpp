// Finding and opening the module's serial port.
#include "serial/module_serial_port.h"

#include <cstdio>

#include "platform/usb_serial_search.h"
#include "serial/comport.h"

ModuleSerialPort module_serial_port;

namespace {

constexpr int MAX_MODULE_TTYS = 16;
constexpr size_t TTY_NAME_SIZE = 32;
char sysfs_root[512] = "/sys";
const ModuleSerialSimulation* simulation = nullptr;

bool open_first_module_tty() {
    char names[MAX_MODULE_TTYS][TTY_NAME_SIZE];
    const int count = platform::find_usb_serial_ttys(sysfs_root, MODULE_SERIAL_VENDOR_ID,
                                                     MODULE_SERIAL_PRODUCT_ID, &names[0][0],
                                                     TTY_NAME_SIZE, MAX_MODULE_TTYS);
    for (int i = 0; i < count; ++i) {
        const int index = comport_index_of_tty(names[i]);
        if (index < 0) continue;
        if (comport_open(index, 115200, "8N1") == 0) {
            module_serial_port.open = 1;
            module_serial_port.index = index;
            return true;
        }
    }
    return false;
}

}  // namespace

void set_serial_sysfs_root(const char* root) {
    std::snprintf(sysfs_root, sizeof sysfs_root, "%s", root ? root : "/sys");
}

void install_module_serial_simulation(const ModuleSerialSimulation* s) { simulation = s; }

void open_module_serial_port() {
    if (module_serial_port.open) return;
    if (simulation && !simulation->attach()) return;
    if (!open_first_module_tty() && simulation) simulation->detach();
}

void close_module_serial_port() {
    if (!module_serial_port.open) return;
    module_serial_port.open = 0;
    comport_close(module_serial_port.index);
    if (simulation) simulation->detach();
}
