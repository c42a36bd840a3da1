// The module's HID and serial gadgets on configfs.
#include "gadget/module_gadgets.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "device/link.h"
#include "gadget/configfs_gadget.h"
#include "serial/module_serial_port.h"
#include "sim/sim_serial_echo.h"

namespace {

constexpr const char* MANUFACTURER = "Velmora";
constexpr const char* SERIAL_PRODUCT_STRING = "QV450 serial port";
constexpr int REPORT_LENGTH = 8;

// A vendor-defined collection with one 8-byte input and one 8-byte output report and
// no report ids: the host writes a report id 0 in front, which never reaches the wire.
const std::vector<uint8_t> REPORT_DESCRIPTOR = {
    0x06, 0x00, 0xFF,  // usage page: vendor defined 0xFF00
    0x09, 0x01,        // usage 1
    0xA1, 0x01,        // collection: application
    0x15, 0x00,        //   logical minimum 0
    0x26, 0xFF, 0x00,  //   logical maximum 255
    0x75, 0x08,        //   report size: 8 bits
    0x95, 0x08,        //   report count: 8
    0x09, 0x01,        //   usage 1
    0x81, 0x02,        //   input: data, variable, absolute
    0x95, 0x08,        //   report count: 8
    0x09, 0x01,        //   usage 1
    0x91, 0x02,        //   output: data, variable, absolute
    0xC0,              // end collection
};

int open_node(const std::string& node) {
    return node.empty() ? -1 : open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
}

}  // namespace

HidGadgetPort::~HidGadgetPort() {
    withdraw();
    gadget::remove_gadget(path_);
}

bool HidGadgetPort::create(uint16_t product_id, const std::string& product, std::string* error) {
    const gadget::DeviceIdentity identity{MODULE_VENDOR_ID, product_id, MANUFACTURER, product};
    return gadget::create_gadget(path_, identity, error) &&
           gadget::add_hid_function(path_, REPORT_LENGTH, REPORT_DESCRIPTOR, error);
}

bool HidGadgetPort::present(uint16_t product_id, const std::string& product, std::string* error) {
    withdraw();
    if (!gadget::set_product(path_, product_id, product, error) || !gadget::bind(path_, udc_, error)) return false;
    // The node exists only while the gadget is bound.
    const std::string node = gadget::hid_device_node(path_);
    fd_ = open_node(node);
    if (fd_ >= 0) return true;
    *error = "cannot open the HID gadget's node " + (node.empty() ? std::string("(none found)") : node) + ": " +
             std::strerror(errno);
    return false;
}

void HidGadgetPort::withdraw() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    std::string ignored;
    gadget::bind(path_, "", &ignored);
}

int HidGadgetPort::read_report(uint8_t* report, size_t size) {
    if (fd_ < 0) return 0;
    const ssize_t n = read(fd_, report, size);
    return n > 0 ? int(n) : 0;
}

bool HidGadgetPort::write_report(const SimReport& report) {
    if (fd_ < 0) return true;
    if (write(fd_, report.data(), report.size()) == ssize_t(report.size())) return true;
    // Busy: the host has not taken the last one. Any other failure (no host has
    // configured the device yet) loses the report, as nobody is there to read it.
    return errno != EAGAIN;
}

bool HidGadgetPort::all_taken() {
    if (fd_ < 0) return true;
    pollfd p = {fd_, POLLOUT, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLOUT);
}

SerialGadget::~SerialGadget() {
    if (fd_ >= 0) close(fd_);
    gadget::remove_gadget(path_);
}

bool SerialGadget::start(std::string* error) {
    const gadget::DeviceIdentity identity{MODULE_VENDOR_ID, uint16_t(MODULE_SERIAL_PRODUCT_ID), MANUFACTURER, SERIAL_PRODUCT_STRING};
    if (!gadget::create_gadget(path_, identity, error) || !gadget::add_acm_function(path_, error) ||
        !gadget::bind(path_, udc_, error))
        return false;
    const std::string node = gadget::acm_device_node(path_);
    fd_ = open_node(node);
    termios tio {};
    if (fd_ < 0 || tcgetattr(fd_, &tio) != 0) {
        *error = "cannot open the serial gadget's node " + node + ": " + std::strerror(errno);
        return false;
    }
    // Raw: the tty layer itself must neither echo nor wait for whole lines.
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
    return true;
}

void SerialGadget::step() {
    if (fd_ >= 0) echo_serial_bytes(fd_);
}

bool claim_gadget_path(const std::string& name, std::string* path, std::string* error) {
    *path = std::string(gadget::CONFIGFS_ROOT) + "/usb_gadget/" + name;
    struct stat st {};
    if (stat(path->c_str(), &st) != 0) return true;
    const std::string udc = gadget::bound_controller(*path);
    if (!udc.empty()) {
        *error = "the gadget " + *path + " is on the bus of " + udc +
                 " (another qv450-sim-usb serves a module): end that one first";
        return false;
    }
    gadget::remove_gadget(*path);
    return true;
}
