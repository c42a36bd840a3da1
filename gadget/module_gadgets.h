// The module's two USB devices as configfs gadgets: its HID interface (vendor 0x12AA,
// the product id and string of what the module runs, 8-byte reports) and its serial
// port (vendor 0x12AA, product 0x4F58, CDC ACM), each on a device controller of its own.
#pragma once

#include <string>

#include "gadget/usb_module_server.h"

// A gadget's folder in configfs, the controller it goes on and its open device node.
class Gadget {
public:
    Gadget(std::string path, std::string udc) : path_(std::move(path)), udc_(std::move(udc)) {}
    Gadget(const Gadget&) = delete;
    Gadget& operator=(const Gadget&) = delete;

    // The open node, -1 while the device is off the bus.
    int fd() const { return fd_; }
    const std::string& controller() const { return udc_; }

protected:
    std::string path_;
    std::string udc_;
    int fd_ = -1;
};

// The HID gadget and its /dev/hidgN node. Removes the gadget when destroyed.
class HidGadgetPort final : public HidDevicePort, public Gadget {
public:
    using Gadget::Gadget;
    ~HidGadgetPort() override;

    // Makes the gadget, off the bus, with the module's first identity.
    bool create(uint16_t product_id, const std::string& product, std::string* error);

    bool present(uint16_t product_id, const std::string& product, std::string* error) override;
    void withdraw() override;
    int read_report(uint8_t* report, size_t size) override;
    bool write_report(const SimReport& report) override;
    bool all_taken() override;
};

// The serial port gadget: a raw /dev/ttyGSn whose bytes are echoed, as the simulated
// serial port does. Removes the gadget when destroyed.
class SerialGadget : public Gadget {
public:
    using Gadget::Gadget;
    ~SerialGadget();

    // Makes the gadget, puts it on the bus and opens its tty. False with a reason.
    bool start(std::string* error);
    // Echoes what the host sent since the last call.
    void step();
};

// Where configfs keeps gadgets of this name; a folder left by a run that was killed
// (off the bus) is removed, one still on the bus is refused. False with a reason.
bool claim_gadget_path(const std::string& name, std::string* path, std::string* error);
