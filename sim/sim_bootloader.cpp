// The simulated module's bootloader: the raw boot transfer and flashing.
#include "sim/sim_firmware_image.h"
#include "sim/sim_module.h"
#include "sim/sim_reports.h"

namespace {

constexpr size_t MAX_MESSAGE = 4096;
constexpr int BLOCK_SIZE = 1028;
// Polls the bootloader stays busy after a block, writing it to flash.
constexpr int BLOCK_WRITE_POLLS = 2;

constexpr uint8_t ANSWER_LISTENING = '1';
constexpr uint8_t ANSWER_BLOCK_WRITTEN = 'z';
constexpr uint8_t ANSWER_REFUSED = 'N';
constexpr uint8_t ANSWER_DONE = 'k';
constexpr uint8_t ANSWER_UNKNOWN = '?';

}  // namespace

void SimModule::switch_to_bootloader() {
    // The same USB handle goes on talking to the bootloader.
    switch_pending_ = false;
    bootloader_ = true;
    boot_rx_.clear();
    boot_answer_.clear();
    boot_busy_polls_ = 0;
}

void SimModule::boot_output_report(const uint8_t* report) {
    const uint8_t control = report[1];
    if (sim_is_poll(control)) {
        boot_poll();
        return;
    }
    if (sim_is_ready_query(control)) {
        SimReport ready{};
        ready[1] = not_ready_answers_ > 0 ? 0x01 : 0x00;
        if (not_ready_answers_ > 0) --not_ready_answers_;
        input_.push_back(ready);
        return;
    }
    const int count = sim_payload_count(control);
    boot_rx_.insert(boot_rx_.end(), report + 2, report + 2 + count);
    if (boot_rx_.size() > MAX_MESSAGE) {
        boot_rx_.clear();
        return;
    }
    // Bit 7: last report of a segment; with bit 6 the segment ends the message.
    if ((control & 0x80) && (control & 0x40)) {
        std::vector<uint8_t> message;
        message.swap(boot_rx_);
        boot_message(message);
    }
}

// Answers a poll with up to 7 bytes of the pending answer; a report with count 0
// while busy or when there is nothing to say.
void SimModule::boot_poll() {
    ++counters.polls;
    SimReport report{};
    if (boot_busy_polls_ > 0) {
        --boot_busy_polls_;
    } else if (!boot_answer_.empty()) {
        const size_t n = boot_answer_.size() < 7 ? boot_answer_.size() : 7;
        report[0] = uint8_t(n << 1);
        for (size_t i = 0; i < n; ++i) report[1 + i] = boot_answer_[i];
        boot_answer_.erase(boot_answer_.begin(), boot_answer_.begin() + long(n));
    }
    input_.push_back(report);
}

void SimModule::boot_answer(const std::vector<uint8_t>& bytes, int busy_polls) {
    boot_answer_ = bytes;
    boot_busy_polls_ = busy_polls;
}

void SimModule::boot_message(const std::vector<uint8_t>& message) {
    if (message.size() == 1 && message[0] == '0') {
        boot_answer({ANSWER_LISTENING});
    } else if (message.size() == 1 && message[0] == '5') {
        boot_answer({0x01, 0x00, settings_.hardware_id[0], settings_.hardware_id[1]});
    } else if (message.size() == 1 && message[0] == '3') {
        if (flash_dirty_) {
            SimFirmwareIdentity identity;
            if (find_sim_firmware_identity(flash_, &identity)) {
                settings_.model = identity.model;
                settings_.model_as_dash = false;
                settings_.firmware_version = identity.firmware_version;
                settings_.variant_byte = identity.variant_byte;
            }
            settings_.programmed = true;
            persist_flash();
            persist_settings();
            flash_dirty_ = false;
        }
        boot_answer({ANSWER_DONE});
        restart_pending_ = true;
    } else if (message.size() == BLOCK_SIZE) {
        const bool ok = accept_block(message);
        const int index = (message[1024] | (message[1025] << 8)) / 16;
        if (ok && index == unplug_at_block_) {
            unplug_at_block_ = -1;
            unplug();
            return;
        }
        boot_answer({ok ? ANSWER_BLOCK_WRITTEN : ANSWER_REFUSED}, ok ? BLOCK_WRITE_POLLS : 0);
    } else {
        boot_answer({ANSWER_UNKNOWN});
    }
}

// A block: 1024 bytes, its address in 64-byte units, and the 16-bit sum of both.
bool SimModule::accept_block(const std::vector<uint8_t>& block) {
    if (refuse_blocks_ > 0) {
        --refuse_blocks_;
        return false;
    }
    const unsigned address = block[1024] | (block[1025] << 8);
    const unsigned sum = block[1026] | (block[1027] << 8);
    unsigned computed = 0;
    for (int i = 0; i < 1026; ++i) computed += block[size_t(i)];
    if ((computed & 0xFFFF) != sum) return false;
    if (address % 16 != 0 || address / 16 >= SIM_FLASH_BLOCKS) return false;
    if (!flash_dirty_) {
        // The first block erases the application: until "3" only the bootloader runs.
        flash_dirty_ = true;
        flash_.assign(SIM_FLASH_SIZE, 0xFF);
        settings_.programmed = false;
        persist_settings();
    }
    std::copy(block.begin(), block.begin() + SIM_FLASH_BLOCK, flash_.begin() + long(address / 16) * SIM_FLASH_BLOCK);
    ++counters.blocks;
    return true;
}
