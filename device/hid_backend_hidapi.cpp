// The HID backend on hidapi (hidraw on Linux): a real module.
#include "device/hid_backend.h"

#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

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
        errno = 0;
        const int n = hid_read_timeout(native(device), data, length, timeout_ms);
        if (n >= 0 || errno != 0) return n;
        // No call failed: the device has left the bus. hidapi says so before it reads
        // what the kernel had already received, which loses the last answer a module
        // sends before it re-enumerates (the bootloader's reply to the end of
        // programming). A blocking read of a device that is gone returns those reports,
        // then an error, without waiting.
        hid_set_nonblocking(native(device), 0);
        return hid_read(native(device), data, length);
    }

    int read(HidDevice* device, uint8_t* data, size_t length) override {
        return hid_read(native(device), data, length);
    }

    int set_nonblocking(HidDevice* device, int nonblocking) override {
        return hid_set_nonblocking(native(device), nonblocking);
    }

    void close(HidDevice* device) override { hid_close(native(device)); }

    // hid_open gives no reason when it fails; the node's own open does.
    bool refused_node(uint16_t vendor_id, uint16_t product_id, char* node, size_t size) override {
        hid_device_info* devices = hid_enumerate(vendor_id, product_id);
        bool refused = false;
        for (hid_device_info* d = devices; d && !refused; d = d->next) {
            const int fd = ::open(d->path, O_RDWR | O_CLOEXEC | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
            } else if (errno == EACCES || errno == EPERM) {
                refused = true;
                std::snprintf(node, size, "%s", d->path);
            }
        }
        hid_free_enumeration(devices);
        return refused;
    }
};

HidapiBackend hidapi;
HidBackend* current = &hidapi;

}  // namespace

HidBackend& hid_backend() { return *current; }

void install_hid_backend(HidBackend* backend) { current = backend ? backend : &hidapi; }
