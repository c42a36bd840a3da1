// The HID backend on hidapi (hidraw on Linux): a real module.
#include "device/hid_backend.h"

#include <hidapi/hidapi.h>

namespace {

hid_device* native(HidDevice* device) { return reinterpret_cast<hid_device*>(device); }

class HidapiBackend : public HidBackend {
public:
    int init() override { return hid_init() == 0 ? 0 : -1; }

    HidDevice* open(uint16_t vendor_id, uint16_t product_id) override {
        return reinterpret_cast<HidDevice*>(hid_open(vendor_id, product_id, nullptr));
    }

    int product_string(HidDevice* device, wchar_t* text, size_t max_chars) override {
        return hid_get_product_string(native(device), text, max_chars) == 0 ? 0 : -1;
    }

    int write(HidDevice* device, const uint8_t* data, size_t length) override {
        return hid_write(native(device), data, length);
    }

    int read_timeout(HidDevice* device, uint8_t* data, size_t length, int timeout_ms) override {
        return hid_read_timeout(native(device), data, length, timeout_ms);
    }

    int read(HidDevice* device, uint8_t* data, size_t length) override {
        return hid_read(native(device), data, length);
    }

    int set_nonblocking(HidDevice* device, int nonblocking) override {
        return hid_set_nonblocking(native(device), nonblocking);
    }

    void close(HidDevice* device) override { hid_close(native(device)); }
};

HidapiBackend hidapi;
HidBackend* current = &hidapi;

}  // namespace

HidBackend& hid_backend() { return *current; }

void install_hid_backend(HidBackend* backend) { current = backend ? backend : &hidapi; }
