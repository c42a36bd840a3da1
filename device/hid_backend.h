// The HID calls the link and the remote-access relay make, behind one interface with
// two implementations: hidapi (a real module) and the simulated QV450 (sim/).
#pragma once

#include <cstddef>
#include <cstdint>

// An open device of some backend; only the backend that opened it looks inside.
struct HidDevice;

class HidBackend {
public:
    virtual ~HidBackend() = default;

    // Starts the backend. 0 on success, -1 on failure.
    virtual int init() = 0;

    // Opens the first device with this vendor and product id. nullptr when none.
    virtual HidDevice* open(uint16_t vendor_id, uint16_t product_id) = 0;

    // Copies the product string, at most `max_chars` wide characters including the
    // terminator, into `text`. 0 on success, -1 on failure.
    virtual int product_string(HidDevice* device, wchar_t* text, size_t max_chars) = 0;

    // Writes one output report; byte 0 is the report id. Returns the number of bytes
    // written, or -1 on error (for example an unplugged device).
    virtual int write(HidDevice* device, const uint8_t* data, size_t length) = 0;

    // Reads one input report into `data` (at most `length` bytes), waiting at most
    // `timeout_ms` milliseconds. Returns the byte count, 0 on time-out, -1 on error.
    virtual int read_timeout(HidDevice* device, uint8_t* data, size_t length, int timeout_ms) = 0;

    // Reads one input report; waits for one unless the device is non-blocking, in
    // which case 0 means none is waiting. -1 on error.
    virtual int read(HidDevice* device, uint8_t* data, size_t length) = 0;

    // 1 makes read() return at once, 0 makes it wait (the state after open).
    // 0 on success, -1 on failure.
    virtual int set_nonblocking(HidDevice* device, int nonblocking) = 0;

    virtual void close(HidDevice* device) = 0;

    // The device node of an attached device with this vendor and product id that this
    // process may not open (the system refuses it with a permission error), copied into
    // `node` (at most `size` bytes with the terminator). False when there is none.
    virtual bool refused_node(uint16_t vendor_id, uint16_t product_id, char* node, size_t size) {
        (void)vendor_id, (void)product_id, (void)node, (void)size;
        return false;
    }
};

// The backend every caller uses. Until another is installed it is hidapi.
HidBackend& hid_backend();

// Installs a backend (the simulator, or a test's); nullptr goes back to hidapi. The
// caller keeps ownership and must not destroy it while a device of it is open.
void install_hid_backend(HidBackend* backend);

