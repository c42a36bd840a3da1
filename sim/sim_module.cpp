// The simulated module's USB side: report dispatch, plugging, faults and the demo.
#include "sim/sim_module.h"

#include <cstring>

#include "sim/sim_reports.h"

const uint8_t SimModule::DEFAULT_PIN_AREA[92] = {
    0x20, 0x03, 0x0F, 0x04, 0x06, 0x08, 0x09, 0x03, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00,
    0x00, 0x01, 0x80, 0x80, 0x80, 0x80, 0x02, 0x02, 0x01, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
    0x20, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
    0x80, 0x80, 0x80, 0x1F, 0xFF, 0xFF, 0x3F, 0x00, 0x00, 0x00, 0x1F, 0x70, 0x38, 0x00, 0x00, 0x00,
    0x1C, 0x04, 0x00, 0x00, 0x00, 0x1D, 0x00, 0x1D, 0x1D, 0x00, 0x00, 0x1D, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x1D, 0x1D, 0x1D, 0x1D, 0x1D, 0x1D, 0x00, 0x00, 0x00, 0x1D, 0x1D,
};

namespace {

constexpr uint16_t PRODUCT_ID_PROGRAMMER = 0xF1F7;
constexpr uint16_t PRODUCT_ID_USBIC = 0xF1F5;
constexpr uint16_t PRODUCT_ID_BOOTLOADER = 0xF1F4;

// One step of the demo drive: from `at_ms` into the cycle these signals are active.
struct DemoStep {
    int at_ms;
    uint64_t signals;
    const char* event;  // event text sent when the step begins, or nullptr
};

constexpr uint64_t bit(int n) { return uint64_t(1) << n; }

const DemoStep DEMO_STEPS[] = {
    {0, bit(16) | bit(17), "1* IGN Ignition on\r\n"},
    {3000, bit(16) | bit(17) | bit(8), "1* DOOR Front left door opened\r\n"},
    {5000, bit(16) | bit(17), "1* DOOR Front left door closed\r\n"},
    {7000, bit(16) | bit(17) | bit(33), nullptr},
    {9000, bit(16) | bit(17) | bit(33) | bit(34) | bit(6), "1* LOCK Locked at speed\r\n"},
    {13000, bit(16) | bit(17) | bit(33) | bit(37) | bit(6), "Reverse gear\r\n"},
    {15000, bit(6), "1* IGN Ignition off\r\n"},
    {17000, bit(1), "1* LOCK Unlocked by remote\r\n"},
    {18000, 0, nullptr},
};
constexpr int DEMO_CYCLE_MS = 20000;

}  // namespace

SimModule::SimModule(const SimSettings& settings) : settings_(settings) {
    reset_memory();
    flash_.assign(SIM_FLASH_SIZE, 0xFF);
    start_firmware();
}

void SimModule::reset_memory() {
    memory_.fill(0x00);
    memory_[0x01] = 3 - 1;  // CAN level 3, vehicle number 0
    std::memcpy(memory_.data() + 0x81, DEFAULT_PIN_AREA, sizeof DEFAULT_PIN_AREA);
}

uint16_t SimModule::product_id() const {
    if (bootloader_) return PRODUCT_ID_BOOTLOADER;
    return settings_.product == SimProduct::USBIC ? PRODUCT_ID_USBIC : PRODUCT_ID_PROGRAMMER;
}

std::string SimModule::product_string() const {
    if (!settings_.product_string.empty()) return settings_.product_string;
    if (bootloader_) return "USB Bootloader";
    return settings_.product == SimProduct::USBIC ? "USBIC" : "USB HID Progr";
}

void SimModule::start_firmware() {
    bootloader_ = !settings_.programmed;
    input_.clear();
    rx_text_.clear();
    replies_.clear();
    boot_rx_.clear();
    boot_answer_.clear();
    boot_busy_polls_ = 0;
    switch_pending_ = false;
    restart_pending_ = false;
    flash_dirty_ = false;
    text_line_index_ = 0;
}

void SimModule::unplug() {
    if (!plugged_) return;
    plugged_ = false;
    ++generation_;
    start_firmware();
}

void SimModule::replug() {
    if (plugged_) return;
    plugged_ = true;
    ++generation_;
    start_firmware();
}

int SimModule::host_write(const uint8_t* report, size_t length) {
    if (!plugged_ || length < 2) return -1;
    if (unplug_after_ == 0) {
        unplug_after_ = -1;
        unplug();
        return -1;
    }
    if (unplug_after_ > 0) --unplug_after_;
    ++counters.output_reports;

    // Pending hand-overs happen once the host has nothing left to read.
    if (switch_pending_ && input_.empty() && replies_.empty()) switch_to_bootloader();

    uint8_t full[9] = {};
    std::memcpy(full, report, length < sizeof full ? length : sizeof full);
    if (bootloader_) {
        boot_output_report(full);
    } else {
        app_output_report(full);
    }
    return int(length);
}

bool SimModule::host_read(SimReport* report) {
    while (plugged_ && !input_.empty()) {
        const SimReport next = input_.front();
        input_.pop_front();
        if (lose_input_reports_ > 0) {
            --lose_input_reports_;
            continue;
        }
        ++counters.input_reports;
        *report = next;
        if (input_.empty()) {
            if (switch_pending_ && replies_.empty()) switch_to_bootloader();
            if (restart_pending_ && boot_answer_.empty()) {
                // The bootloader starts the new firmware: the module leaves the bus and
                // comes back as whatever it now is.
                ++generation_;
                start_firmware();
            }
        }
        return true;
    }
    return false;
}

void SimModule::queue_event_text(const std::string& text) {
    if (bootloader_ || !plugged_) return;
    const size_t n = text.size() < 120 ? text.size() : 120;
    reply(0xFF, std::vector<uint8_t>(text.begin(), text.begin() + long(n)));
}

void SimModule::hold_signals(uint64_t bits, bool on) {
    bits &= SIM_SIGNAL_MASK;
    (on ? held_on_ : held_off_) |= bits;
    (on ? held_off_ : held_on_) &= ~bits;
}

void SimModule::release_signals(uint64_t bits) {
    held_on_ &= ~bits;
    held_off_ &= ~bits;
}

void SimModule::advance_to(uint64_t now_ms) {
    take_command_file(now_ms);
    if (!settings_.demo || !plugged_) return;
    demo_step(now_ms);
}

void SimModule::demo_step(uint64_t now_ms) {
    const int at = int(now_ms % DEMO_CYCLE_MS);
    int phase = 0;
    for (int i = 0; i < int(sizeof DEMO_STEPS / sizeof DEMO_STEPS[0]); ++i)
        if (DEMO_STEPS[i].at_ms <= at) phase = i;
    demo_last_ms_ = now_ms;
    if (phase == demo_phase_) return;
    demo_phase_ = phase;
    signal_map_ = DEMO_STEPS[phase].signals;
    if (DEMO_STEPS[phase].event) queue_event_text(DEMO_STEPS[phase].event);
}
