// The simulated module's USB serial port: a pseudo-terminal whose far end echoes
// every byte it receives, presented as the module's USB device in a sysfs tree of
// its own so that the serial layer's usual search finds it.
#pragma once

#include <string>

class SimSerialPort {
public:
    SimSerialPort() = default;
    ~SimSerialPort() { stop(); }
    SimSerialPort(const SimSerialPort&) = delete;
    SimSerialPort& operator=(const SimSerialPort&) = delete;

    // Makes the pseudo-terminal and, in a new private folder, "sysfs" (bus/usb/devices/
    // 1-1 with idVendor 12aa, idProduct 4f58 and interface 1-1:1.0/tty/ttyACM0) and
    // "dev/ttyACM0", a link to the terminal. False, with nothing left behind, when a
    // step fails.
    bool start(std::string* error);
    // Closes the terminal and removes the folder.
    void stop();
    bool running() const { return master_ >= 0; }

    // Echoes what the program wrote since the last call.
    void service();

    std::string sysfs_root() const { return folder_ + "/sysfs"; }
    std::string device_folder() const { return folder_ + "/dev"; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string folder_;
};

// Puts a simulated port behind the serial layer: the module search attaches it, the
// reads and writes move its bytes. Used when the simulator is on.
void install_simulated_serial_port();
