// The HID backend that talks to a simulated module instead of hidapi.
#pragma once

#include <string>

#include "device/hid_backend.h"
#include "sim/sim_module.h"

class SimBackend : public HidBackend {
public:
    // The module stays owned by the caller. With `usb_timing` every report costs a
    // millisecond each way, as on a real full-speed HID link; reads that find nothing
    // wait their whole time-out. Time passes on the platform clock.
    explicit SimBackend(SimModule& module, bool usb_timing = true)
        : module_(module), usb_timing_(usb_timing) {}

    SimModule& module() { return module_; }
    int open_handles() const { return open_handles_; }
    // Opens fail as they do for a user the system does not let open the module, which
    // is reported attached at `node` meanwhile; an empty node lifts it.
    void refuse_access(const std::string& node) { refused_node_ = node; }

    int init() override { return 0; }
    HidDevice* open(uint16_t vendor_id, uint16_t product_id) override;
    int product_string(HidDevice* device, wchar_t* text, size_t max_chars) override;
    int write(HidDevice* device, const uint8_t* data, size_t length) override;
    int read_timeout(HidDevice* device, uint8_t* data, size_t length, int timeout_ms) override;
    int read(HidDevice* device, uint8_t* data, size_t length) override;
    int set_nonblocking(HidDevice* device, int nonblocking) override;
    void close(HidDevice* device) override;
    bool refused_node(uint16_t vendor_id, uint16_t product_id, char* node, size_t size) override;

private:
    struct Handle {
        int generation;
        bool nonblocking;
    };
    static Handle* handle(HidDevice* device) { return reinterpret_cast<Handle*>(device); }
    bool alive(HidDevice* device) const;
    int deliver(uint8_t* data, size_t length);
    void report_time();

    SimModule& module_;
    bool usb_timing_;
    int open_handles_ = 0;
    std::string refused_node_;
};
