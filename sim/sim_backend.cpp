// The simulated module behind the HID backend interface, with a USB timing model.
#include "sim/sim_backend.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "device/link.h"
#include "platform/clock.h"

namespace {
// A blocking read on a module that never speaks unasked would wait for ever; the
// simulated one gives up after this long and reports nothing.
constexpr int BLOCKING_READ_LIMIT_MS = 1000;
}

bool SimBackend::alive(HidDevice* device) const {
    return device && module_.plugged() && handle(device)->generation == module_.usb_generation();
}

void SimBackend::report_time() {
    if (usb_timing_) platform::sleep_ms(1);
    module_.advance_to(platform::monotonic_ms());
}

HidDevice* SimBackend::open(uint16_t vendor_id, uint16_t product_id) {
    module_.advance_to(platform::monotonic_ms());
    if (vendor_id != MODULE_VENDOR_ID || !module_.plugged() || product_id != module_.product_id() ||
        !refused_node_.empty())
        return nullptr;
    ++open_handles_;
    return reinterpret_cast<HidDevice*>(new Handle{module_.usb_generation(), false});
}

int SimBackend::product_string(HidDevice* device, wchar_t* text, size_t max_chars) {
    if (!alive(device) || max_chars == 0) return -1;
    const std::string product = module_.product_string();
    size_t i = 0;
    for (; i + 1 < max_chars && i < product.size(); ++i) text[i] = wchar_t(static_cast<unsigned char>(product[i]));
    text[i] = 0;
    return 0;
}

int SimBackend::write(HidDevice* device, const uint8_t* data, size_t length) {
    if (!alive(device)) return -1;
    report_time();
    return module_.host_write(data, length);
}

int SimBackend::deliver(uint8_t* data, size_t length) {
    SimReport report;
    if (!module_.host_read(&report)) return 0;
    const size_t n = length < report.size() ? length : report.size();
    std::memcpy(data, report.data(), n);
    report_time();
    return int(n);
}

int SimBackend::read_timeout(HidDevice* device, uint8_t* data, size_t length, int timeout_ms) {
    if (!alive(device)) return -1;
    const int n = deliver(data, length);
    if (n > 0) return n;
    // Nothing arrives unasked, so the whole time-out passes.
    if (timeout_ms > 0) platform::sleep_ms(uint64_t(timeout_ms));
    module_.advance_to(platform::monotonic_ms());
    return alive(device) ? 0 : -1;
}

int SimBackend::read(HidDevice* device, uint8_t* data, size_t length) {
    if (!alive(device)) return -1;
    if (handle(device)->nonblocking) return deliver(data, length);
    return read_timeout(device, data, length, BLOCKING_READ_LIMIT_MS);
}

int SimBackend::set_nonblocking(HidDevice* device, int nonblocking) {
    if (!alive(device)) return -1;
    handle(device)->nonblocking = nonblocking != 0;
    return 0;
}

bool SimBackend::refused_node(uint16_t vendor_id, uint16_t product_id, char* node, size_t size) {
    if (refused_node_.empty() || vendor_id != MODULE_VENDOR_ID || !module_.plugged() ||
        product_id != module_.product_id())
        return false;
    std::snprintf(node, size, "%s", refused_node_.c_str());
    return true;
}

void SimBackend::close(HidDevice* device) {
    if (!device) return;
    delete handle(device);
    --open_handles_;
}
