// The module's own USB serial port (vendor 0x12AA, product 0x4F58): found in sysfs
// and opened at 115200 baud, 8N1, for the remote-access relay.
#pragma once

constexpr unsigned MODULE_SERIAL_VENDOR_ID = 0x12AA;
constexpr unsigned MODULE_SERIAL_PRODUCT_ID = 0x4F58;

struct ModuleSerialPort {
    int open = 0;    // 1 exactly while the port found by open_module_serial_port is open
    int index = -1;  // its port index
};
extern ModuleSerialPort module_serial_port;

// Does nothing while the port is open. Otherwise opens the first tty node of the
// module's USB devices that opens at 115200 baud with "8N1" and sets the open flag;
// nodes outside the port name table are skipped. When none opens the flag stays
// clear.
void open_module_serial_port();

// Clears the open flag, then closes the port; nothing when the flag is clear.
void close_module_serial_port();

// Where the search looks: "/sys" normally; tests and the simulated module point it
// at a tree of their own. nullptr goes back to "/sys".
void set_serial_sysfs_root(const char* root);

// A simulated module's port: `attach` makes its device and points the search at it
// (false when it cannot), `detach` removes it again. open_module_serial_port calls
// attach before searching (and detach when nothing opened); close_module_serial_port
// calls detach after closing. nullptr removes it.
struct ModuleSerialSimulation {
    bool (*attach)();
    void (*detach)();
};
void install_module_serial_simulation(const ModuleSerialSimulation* simulation);
