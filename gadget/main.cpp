// qv450-sim-usb: serves the simulated module kept in a folder as a USB device on this
// machine's device controllers, so that any computer plugged into it sees a QV450.
#include <poll.h>
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/link.h"
#include "gadget/configfs_gadget.h"
#include "gadget/module_gadgets.h"
#include "platform/clock.h"
#include "serial/module_serial_port.h"
#include "sim/sim_module.h"

namespace {

const char USAGE[] =
    "usage: qv450-sim-usb FOLDER\n"
    "Serves the simulated QV450 module kept in FOLDER (module.conf, memory.bin, flash.bin\n"
    "and the commands file, as for QV450_SIMULATOR) as a USB device: its HID interface on\n"
    "the first USB device controller, its serial port on the second. Runs until it is\n"
    "interrupted, then takes both devices off the bus.\n";

// The longest wait for the host between passes: the module's own time (demo, commands
// file) moves on at least this often.
constexpr int PASS_WAIT_MS = 10;

volatile sig_atomic_t stop_requested = 0;

void request_stop(int) { stop_requested = 1; }

void catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = request_stop;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: the wait of the pass returns at once.
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

int fail(const std::string& message) {
    std::fprintf(stderr, "qv450-sim-usb: %s\n", message.c_str());
    return 1;
}

bool configured(const std::string& udc) { return gadget::controller_state(udc) == "configured"; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs(USAGE, argc == 2 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
        return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    const std::string folder = argv[1];
    catch_stop_signals();

    SimSettings demo;
    demo.demo = true;
    SimModule module(demo);
    std::string error;
    if (!module.attach_folder(folder, &error)) return fail(error);

    if (!gadget::ensure_configfs(gadget::CONFIGFS_ROOT, &error)) return fail(error);
    const std::vector<std::string> controllers = gadget::device_controllers();
    if (controllers.empty())
        return fail("this machine has no USB device controller (/sys/class/udc is empty): it needs a USB "
                    "device port, or for a test the dummy_hcd module");

    std::string hid_path, serial_path;
    if (!claim_gadget_path("qv450-module", &hid_path, &error)) return fail(error);
    HidGadgetPort hid(hid_path, controllers[0]);
    if (!hid.create(module.product_id(), module.product_string(), &error)) return fail(error);
    std::unique_ptr<SerialGadget> serial;
    if (controllers.size() < 2) {
        std::fprintf(stderr, "qv450-sim-usb: only one USB device controller: the module's serial port is not served\n");
    } else {
        if (!claim_gadget_path("qv450-serial", &serial_path, &error)) return fail(error);
        serial.reset(new SerialGadget(serial_path, controllers[1]));
        if (!serial->start(&error)) return fail(error);
    }

    UsbModuleServer server(module, hid);
    if (!server.start(&error)) return fail(error);

    bool announced = false;
    while (!stop_requested) {
        pollfd fds[2] = {{hid.fd(), short(POLLIN | (server.has_pending() ? POLLOUT : 0)), 0},
                         {serial ? serial->fd() : -1, POLLIN, 0}};
        poll(fds, 2, PASS_WAIT_MS);
        if (!server.step(platform::monotonic_ms(), &error)) return fail(error);
        if (serial) serial->step();
        if (!announced && configured(hid.controller()) && (!serial || configured(serial->controller()))) {
            announced = true;
            std::printf("qv450-sim-usb: module %s attached: %04x:%04x \"%s\" on %s", folder.c_str(),
                        unsigned(MODULE_VENDOR_ID), unsigned(module.product_id()), module.product_string().c_str(),
                        hid.controller().c_str());
            if (serial)
                std::printf(", serial port %04x:%04x on %s", unsigned(MODULE_VENDOR_ID), MODULE_SERIAL_PRODUCT_ID,
                            serial->controller().c_str());
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    return 0;
}
