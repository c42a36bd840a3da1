// USB gadgets through the kernel's configfs: a device made of folders and attribute
// files under usb_gadget/, put on the bus by writing a device controller's name into
// its UDC file. Each call is one small step; failures come back with the path and the
// system's reason. Linux only; no GTK here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gadget {

constexpr const char* CONFIGFS_ROOT = "/sys/kernel/config";

// What the host sees of a device before it talks to it.
struct DeviceIdentity {
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    std::string manufacturer;
    std::string product;
};

// Mounts configfs at `root` when nothing is mounted there, and checks that the gadget
// framework is loaded (usb_gadget/ exists). False with a reason that says what to do.
bool ensure_configfs(const std::string& root, std::string* error);

// The device controllers of this machine (/sys/class/udc), sorted by name.
std::vector<std::string> device_controllers(const std::string& sysfs = "/sys");

// The controller's state as the kernel names it: "configured" once a host has taken the
// device, "not attached" without a host. Empty when unreadable.
std::string controller_state(const std::string& udc, const std::string& sysfs = "/sys");

// Makes the gadget folder `path` (usb_gadget/NAME) with this identity, English strings
// and one configuration "c.1". False with a reason; the caller removes what was made.
bool create_gadget(const std::string& path, const DeviceIdentity& identity, std::string* error);

// Changes the product id and product string of a gadget that is off the bus.
bool set_product(const std::string& path, uint16_t product_id, const std::string& product, std::string* error);

// A HID function "hid.usb0" in the configuration: `report_length` bytes per report and
// this report descriptor. Its device node appears once the gadget is bound.
bool add_hid_function(const std::string& path, int report_length, const std::vector<uint8_t>& descriptor,
                      std::string* error);

// A CDC ACM function "acm.usb0" in the configuration; its node is /dev/ttyGS<port>.
bool add_acm_function(const std::string& path, std::string* error);

// Puts the gadget on the bus of controller `udc`, or takes it off (bind with "").
bool bind(const std::string& path, const std::string& udc, std::string* error);

// The controller the gadget is bound to; empty when it is off the bus or missing.
std::string bound_controller(const std::string& path);

// Takes the gadget off the bus and removes every folder and link of it, in the order
// configfs demands (links, configuration strings, configurations, functions, strings,
// the gadget). Safe on a half-made or missing gadget.
void remove_gadget(const std::string& path);

// The device nodes of the functions: "/dev/hidg0" (empty before the gadget is bound)
// and "/dev/ttyGS0".
std::string hid_device_node(const std::string& path, const std::string& sysfs = "/sys");
std::string acm_device_node(const std::string& path);

}  // namespace gadget
