// The simulated module on a USB device port: when and as what the device re-enumerates,
// on a stand-in for the gadget that records what the bus would see.
#include "gadget/usb_module_server.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_reports.h"

namespace {

// The bus as the host sees it: each presentation with its time, and the answers taken.
class RecordingPort : public HidDevicePort {
public:
    std::vector<std::string> events;
    std::deque<std::vector<uint8_t>> from_host;
    std::vector<SimReport> taken;
    bool host_reads = true;  // false: answers stay waiting in the device
    uint64_t now_ms = 0;

    bool present(uint16_t product_id, const std::string& product, std::string*) override {
        char text[64];
        std::snprintf(text, sizeof text, "%llu: %04x %s", static_cast<unsigned long long>(now_ms), product_id,
                      product.c_str());
        events.push_back(text);
        return true;
    }
    void withdraw() override { events.push_back(std::to_string(now_ms) + ": off the bus"); }
    int read_report(uint8_t* report, size_t size) override {
        if (from_host.empty()) return 0;
        const std::vector<uint8_t> r = from_host.front();
        from_host.pop_front();
        std::copy(r.begin(), r.begin() + long(std::min(size, r.size())), report);
        return int(r.size());
    }
    bool write_report(const SimReport& report) override {
        if (!host_reads) return !waiting_ && (waiting_ = true);
        taken.push_back(report);
        return true;
    }
    bool all_taken() override { return host_reads || !waiting_; }

private:
    bool waiting_ = false;
};

// The reports of one frame from the host: 7 characters each, bit 0 on the first,
// bits 7 and 6 on the last.
std::vector<std::vector<uint8_t>> frame_reports(uint8_t command) {
    const std::string text = sim_frame_text(command, {}, false);
    std::vector<std::vector<uint8_t>> reports;
    for (size_t pos = 0; pos < text.size(); pos += 7) {
        const size_t n = std::min<size_t>(7, text.size() - pos);
        std::vector<uint8_t> r(8, 0);
        r[0] = uint8_t(2 * n + (pos == 0 ? 1 : 0) + (pos + n == text.size() ? 0xC0 : 0));
        std::copy(text.begin() + long(pos), text.begin() + long(pos + n), r.begin() + 1);
        reports.push_back(r);
    }
    return reports;
}

const std::vector<uint8_t> POLL = {0x60, 0, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> END_OF_PROGRAMMING = {0xC3, '3', 0, 0, 0, 0, 0, 0};

struct Case {
    const char* name;
    bool programmed;   // false: the module starts in its bootloader
    bool host_reads;   // false: the host never takes an answer
    std::function<void(SimModule&, RecordingPort&)> act;  // at 100 ms
    std::vector<std::string> events;                      // after the first presentation
};

const Case CASES[] = {
    {"the hand-over: the answer first, then the bootloader 50 ms after it was taken", true, true,
     [](SimModule&, RecordingPort& port) {
         for (const auto& r : frame_reports(0x10)) port.from_host.push_back(r);
         port.from_host.push_back(POLL);
     },
     {"150: f1f4 USB Bootloader"}},
    {"the end of programming restarts the module (into its bootloader: no image came)", false, true,
     [](SimModule&, RecordingPort& port) {
         port.from_host.push_back(END_OF_PROGRAMMING);
         port.from_host.push_back(POLL);
     },
     {"150: f1f4 USB Bootloader"}},
    {"an answer the host never takes holds the device for 500 ms at most", true, false,
     [](SimModule&, RecordingPort& port) {
         for (const auto& r : frame_reports(0x10)) port.from_host.push_back(r);
         port.from_host.push_back(POLL);
     },
     {"600: f1f4 USB Bootloader"}},
    {"a pulled cable leaves at once", true, true, [](SimModule& module, RecordingPort&) { module.unplug(); },
     {"100: off the bus"}},
    {"unplugged and plugged between two passes: a new device all the same", true, true,
     [](SimModule& module, RecordingPort&) {
         module.unplug();
         module.replug();
     },
     {"100: f1f7 USB HID Progr"}},
};

TEST(UsbModuleServer, ReenumeratesAsTheModuleWouldAfterItsLastAnswer) {
    for (const Case& c : CASES) {
        SCOPED_TRACE(c.name);
        SimSettings settings;
        settings.programmed = c.programmed;
        SimModule module(settings);
        RecordingPort port;
        port.host_reads = c.host_reads;
        UsbModuleServer server(module, port);
        std::string error;
        ASSERT_TRUE(server.start(&error));
        ASSERT_EQ(port.events.size(), 1u);
        port.events.clear();
        for (port.now_ms = 0; port.now_ms <= 1000; port.now_ms += 10) {
            if (port.now_ms == 100) c.act(module, port);
            ASSERT_TRUE(server.step(port.now_ms, &error)) << error;
        }
        EXPECT_EQ(port.events, c.events);
        if (c.host_reads && !port.taken.empty()) {
            EXPECT_NE(port.taken.back()[0] & 0x0E, 0) << "the answer, with data";
        }
    }
}

}  // namespace
