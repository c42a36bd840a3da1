// The simulated module's serial port on a pseudo-terminal pair.
#include "sim/sim_serial_port.h"

#include <fcntl.h>
#include <ftw.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "serial/comport.h"
#include "serial/module_serial_port.h"
#include "sim/sim_serial_echo.h"

namespace {

bool make_folder(const std::string& path) { return mkdir(path.c_str(), 0700) == 0; }

bool put_file(const std::string& path, const char* text) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    const bool written = std::fputs(text, f) >= 0;
    return std::fclose(f) == 0 && written;
}

int remove_entry(const char* path, const struct stat*, int, FTW*) { return ::remove(path); }

}  // namespace

bool SimSerialPort::start(std::string* error) {
    stop();
    const char* base = getenv("XDG_RUNTIME_DIR");
    std::string pattern = std::string(base && *base == '/' ? base : "/tmp") + "/qv450-sim-serial-XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        *error = "cannot make a folder for the simulated serial port";
        return false;
    }
    folder_ = pattern;
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
        *error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        stop();
        return false;
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    const char* terminal = ttyname(slave_);
    const std::string device = folder_ + "/sysfs/bus/usb/devices/1-1";
    const bool made = terminal && make_folder(folder_ + "/sysfs") && make_folder(folder_ + "/sysfs/bus") &&
                      make_folder(folder_ + "/sysfs/bus/usb") && make_folder(folder_ + "/sysfs/bus/usb/devices") &&
                      make_folder(device) && put_file(device + "/idVendor", "12aa\n") &&
                      put_file(device + "/idProduct", "4f58\n") && make_folder(device + "/1-1:1.0") &&
                      make_folder(device + "/1-1:1.0/tty") && make_folder(device + "/1-1:1.0/tty/ttyACM0") &&
                      make_folder(device_folder()) &&
                      symlink(terminal, (device_folder() + "/ttyACM0").c_str()) == 0;
    if (!made) {
        *error = "cannot build the simulated serial port's device tree";
        stop();
        return false;
    }
    return true;
}

void SimSerialPort::stop() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    master_ = slave_ = -1;
    if (!folder_.empty()) nftw(folder_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    folder_.clear();
}

void SimSerialPort::service() {
    if (master_ >= 0) echo_serial_bytes(master_);
}

namespace {

SimSerialPort simulated_port;

bool attach_simulated_port() {
    std::string error;
    if (!simulated_port.start(&error)) {
        std::fprintf(stderr, "qv450: %s\n", error.c_str());
        return false;
    }
    set_serial_sysfs_root(simulated_port.sysfs_root().c_str());
    set_comport_device_folder(simulated_port.device_folder().c_str());
    set_comport_service_hook([] { simulated_port.service(); });
    return true;
}

void detach_simulated_port() {
    set_comport_service_hook(nullptr);
    set_serial_sysfs_root(nullptr);
    set_comport_device_folder(nullptr);
    simulated_port.stop();
}

const ModuleSerialSimulation simulation{attach_simulated_port, detach_simulated_port};

}  // namespace

void install_simulated_serial_port() { install_module_serial_simulation(&simulation); }
